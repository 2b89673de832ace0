// The effect settings: defaults, ranges, which changes are reported, assignment and the INI
// section they can be kept in.
#include <gtest/gtest.h>

#include <map>

#include "support/MemoryIni.h"
#include "textfx/AAEffect.h"

namespace {

struct TChangeLog {
    std::vector<const TNotifyClass*> Senders;
    TNotifyClass::TChangeEvent Callback() {
        return [this](TNotifyClass& sender) { Senders.push_back(&sender); };
    }
};

} // namespace

TEST(AAEffect, DefaultsAndRanges) {
    TAAEffect effect;
    EXPECT_EQ(effect.Alpha(), 100);
    EXPECT_EQ(effect.Blur(), 0);
    EXPECT_EQ(effect.Angle(), 0);
    EXPECT_EQ(effect.Noise(), 0);
    EXPECT_EQ(effect.Spray(), 0);
    EXPECT_FALSE(effect.Outline() || effect.HorzMirror() || effect.VertMirror());
    const TAAShadow& shadow = effect.Shadow();
    EXPECT_FALSE(shadow.Enabled());
    EXPECT_EQ(shadow.Blur(), 80);
    EXPECT_EQ(shadow.Alpha(), 70);
    EXPECT_EQ(shadow.Color(), 0x444444u);
    EXPECT_EQ(shadow.OffsetX(), 2);
    EXPECT_EQ(shadow.OffsetY(), 2);
    EXPECT_FALSE(effect.Gradual().Enabled());
    EXPECT_EQ(effect.Gradual().Style(), gsLeftToRight);
    EXPECT_EQ(effect.Gradual().StartColor(), 0xFFFFFFu);
    EXPECT_EQ(effect.Gradual().EndColor(), 0u);
    EXPECT_FALSE(effect.Texture().Enabled());
    EXPECT_EQ(effect.Texture().Mode(), tmTiled);
    EXPECT_EQ(effect.Texture().Picture(), nullptr);

    effect.SetAlpha(150);
    effect.SetAngle(-400);
    effect.SetNoise(300);
    effect.SetSpray(-1);
    effect.Shadow().SetOffsetX(21);
    effect.Shadow().SetOffsetY(-25);
    EXPECT_EQ(effect.Alpha(), 100);
    EXPECT_EQ(effect.Angle(), -360);
    EXPECT_EQ(effect.Noise(), 255);
    EXPECT_EQ(effect.Spray(), 0);
    EXPECT_EQ(effect.Shadow().OffsetX(), 20);
    EXPECT_EQ(effect.Shadow().OffsetY(), -20);
}

TEST(AAEffect, ChangesReachTheCallbackSetLater) {
    TAAEffect effect;
    TChangeLog log;
    effect.OnChange = log.Callback();

    // A disabled group stays quiet until it is switched; then every change counts.
    effect.Shadow().SetColor(0);
    effect.Gradual().SetStyle(gsTopToBottom);
    EXPECT_TRUE(log.Senders.empty());
    effect.Shadow().SetEnabled(true);
    effect.Shadow().SetColor(0x123456);
    effect.Shadow().SetColor(0x123456);
    effect.Shadow().SetEnabled(false);
    EXPECT_EQ(log.Senders, (std::vector<const TNotifyClass*>(3, &effect.Shadow())));

    log.Senders.clear();
    effect.SetOutline(true);
    effect.SetOutline(true);
    effect.SetAlpha(100);
    EXPECT_EQ(log.Senders, (std::vector<const TNotifyClass*>{&effect}));
}

TEST(AAEffect, AssignCopiesEveryGroup) {
    TAAEffect source;
    source.SetAlpha(40);
    source.SetAngle(90);
    source.SetVertMirror(true);
    source.Shadow().SetEnabled(true);
    source.Shadow().SetOffsetX(-3);
    source.Gradual().SetEndColor(0xFF);
    source.Texture().SetMode(tmCenter);

    TAAEffect target;
    TChangeLog log;
    target.OnChange = log.Callback();
    target.Assign(source);
    EXPECT_EQ(target.Alpha(), 40);
    EXPECT_EQ(target.Angle(), 90);
    EXPECT_TRUE(target.VertMirror());
    EXPECT_TRUE(target.Shadow().Enabled());
    EXPECT_EQ(target.Shadow().OffsetX(), -3);
    EXPECT_EQ(target.Gradual().EndColor(), 0xFFu);
    EXPECT_EQ(target.Texture().Mode(), tmCenter);
    EXPECT_FALSE(log.Senders.empty());

    EXPECT_THROW(target.Assign(source.Shadow()), std::invalid_argument);
    EXPECT_THROW(target.Shadow().Assign(source.Gradual()), std::invalid_argument);
}

TEST(AAEffect, IniRoundTripAndOutOfRangeValues) {
    TAAEffect saved;
    saved.SetAlpha(55);
    saved.SetBlur(12);
    saved.SetNoise(33);
    saved.SetSpray(4);
    saved.SetAngle(-45);
    saved.SetOutline(true);
    saved.SetHorzMirror(true);
    saved.Shadow().SetEnabled(true);
    saved.Shadow().SetAlpha(60);
    saved.Shadow().SetBlur(100);
    saved.Shadow().SetColor(0xABCDEF);
    saved.Shadow().SetOffsetX(-7);
    saved.Shadow().SetOffsetY(9);
    saved.Gradual().SetEnabled(true);
    saved.Gradual().SetStartColor(0x00FF00);
    saved.Gradual().SetEndColor(0xFFFFFF);
    saved.Gradual().SetStyle(gsCenterToTB);
    saved.Texture().SetEnabled(true);
    saved.Texture().SetMode(tmNormal);

    TMemoryIni ini;
    saved.SaveToIni(ini, L"Effect");
    EXPECT_EQ(ini.Values.size(), 20u);
    EXPECT_EQ(ini.Values[L"Effect/ShadowColor"], std::to_wstring(0xABCDEF));
    EXPECT_EQ(ini.Values[L"Effect/Outline"], L"1");

    TAAEffect loaded;
    loaded.LoadFromIni(ini, L"Effect");
    TMemoryIni again;
    loaded.SaveToIni(again, L"Effect");
    EXPECT_EQ(again.Values, ini.Values);

    // Keys that are missing keep what is there; styles beyond the last become the first.
    TMemoryIni partial;
    partial.Values = {{L"S/GradualStyle", L"6"}, {L"S/TextureMode", L"4"}, {L"S/Alpha", L"500"}};
    loaded.LoadFromIni(partial, L"S");
    EXPECT_EQ(loaded.Gradual().Style(), gsLeftToRight);
    EXPECT_EQ(loaded.Texture().Mode(), tmTiled);
    EXPECT_EQ(loaded.Alpha(), 100);
    EXPECT_EQ(loaded.Shadow().OffsetX(), -7);

    // A negative style would index past the styles as well.
    partial.Values = {
        {L"S/GradualStyle", L"-1"}, {L"S/TextureMode", L"-2"}, {L"S/ShadowAlpha", L"-5"}};
    loaded.Gradual().SetStyle(gsBottomToTop);
    loaded.Texture().SetMode(tmCenter);
    loaded.LoadFromIni(partial, L"S");
    EXPECT_EQ(loaded.Gradual().Style(), gsLeftToRight);
    EXPECT_EQ(loaded.Texture().Mode(), tmTiled);
    EXPECT_EQ(loaded.Shadow().Alpha(), 0);
}
