#include "textfx/AAEffect.h"

#include <algorithm>

#include "framework/CustomIniFile.h"

void TAAShadow::SetBlur(int value) {
    Update(FBlur, std::clamp(value, 0, 100));
}
void TAAShadow::SetAlpha(int value) {
    Update(FAlpha, std::clamp(value, 0, 100));
}
void TAAShadow::SetOffsetX(int value) {
    Update(FOffsetX, std::clamp(value, -20, 20));
}
void TAAShadow::SetOffsetY(int value) {
    Update(FOffsetY, std::clamp(value, -20, 20));
}

void TAAShadow::Assign(const TNotifyClass& source) {
    auto* other = dynamic_cast<const TAAShadow*>(&source);
    if (!other) return TNotifyClass::Assign(source);
    SetBlur(other->FBlur);
    SetAlpha(other->FAlpha);
    SetColor(other->FColor);
    SetOffsetX(other->FOffsetX);
    SetOffsetY(other->FOffsetY);
    TEnabledClass::Assign(source);
}

void TAAGradual::Assign(const TNotifyClass& source) {
    auto* other = dynamic_cast<const TAAGradual*>(&source);
    if (!other) return TNotifyClass::Assign(source);
    SetStyle(other->FStyle);
    SetStartColor(other->FStartColor);
    SetEndColor(other->FEndColor);
    TEnabledClass::Assign(source);
}

void TAATexture::SetPicture(std::shared_ptr<TJpegPicture> value) {
    if (value == FPicture) return;
    FPicture = std::move(value);
    Changed();
}

void TAATexture::Assign(const TNotifyClass& source) {
    auto* other = dynamic_cast<const TAATexture*>(&source);
    if (!other) return TNotifyClass::Assign(source);
    SetMode(other->FMode);
    SetPicture(other->FPicture);
    TEnabledClass::Assign(source);
}

TAAEffect::TAAEffect(TChangeEvent onChange, TComponent* owner)
    : TNotifyClass(std::move(onChange), owner),
      FShadow([this](TNotifyClass& s) { ForwardChange(s); }, owner),
      FGradual([this](TNotifyClass& s) { ForwardChange(s); }, owner),
      FTexture([this](TNotifyClass& s) { ForwardChange(s); }, owner) {}

void TAAEffect::ForwardChange(TNotifyClass& sender) {
    if (OnChange) OnChange(sender);
}

void TAAEffect::SetAlpha(int value) {
    Update(FAlpha, std::clamp(value, 0, 100));
}
void TAAEffect::SetBlur(int value) {
    Update(FBlur, std::clamp(value, 0, 100));
}
void TAAEffect::SetAngle(int value) {
    Update(FAngle, std::clamp(value, -360, 360));
}
void TAAEffect::SetNoise(int value) {
    Update(FNoise, std::clamp(value, 0, 255));
}
void TAAEffect::SetSpray(int value) {
    Update(FSpray, std::clamp(value, 0, 100));
}

void TAAEffect::Assign(const TNotifyClass& source) {
    auto* other = dynamic_cast<const TAAEffect*>(&source);
    if (!other) return TNotifyClass::Assign(source);
    FShadow.Assign(other->FShadow);
    FGradual.Assign(other->FGradual);
    FTexture.Assign(other->FTexture);
    SetAlpha(other->FAlpha);
    SetBlur(other->FBlur);
    SetAngle(other->FAngle);
    SetNoise(other->FNoise);
    SetSpray(other->FSpray);
    SetOutline(other->FOutline);
    SetHorzMirror(other->FHorzMirror);
    SetVertMirror(other->FVertMirror);
}

void TAAEffect::SaveToIni(TCustomIniFile& ini, const std::wstring& section) const {
    ini.WriteInteger(section, L"Alpha", FAlpha);
    ini.WriteInteger(section, L"Blur", FBlur);
    ini.WriteInteger(section, L"Noise", FNoise);
    ini.WriteInteger(section, L"Spray", FSpray);
    ini.WriteInteger(section, L"Angle", FAngle);
    ini.WriteBool(section, L"Outline", FOutline);
    ini.WriteBool(section, L"HorzMirror", FHorzMirror);
    ini.WriteBool(section, L"VertMirror", FVertMirror);
    ini.WriteBool(section, L"Shadow", FShadow.Enabled());
    ini.WriteInteger(section, L"ShadowAlpha", FShadow.Alpha());
    ini.WriteInteger(section, L"ShadowBlur", FShadow.Blur());
    ini.WriteInteger(section, L"ShadowColor", static_cast<int>(FShadow.Color()));
    ini.WriteInteger(section, L"ShadowOffsetX", FShadow.OffsetX());
    ini.WriteInteger(section, L"ShadowOffsetY", FShadow.OffsetY());
    ini.WriteBool(section, L"Gradual", FGradual.Enabled());
    ini.WriteInteger(section, L"GradualStartColor", static_cast<int>(FGradual.StartColor()));
    ini.WriteInteger(section, L"GradualEndColor", static_cast<int>(FGradual.EndColor()));
    ini.WriteInteger(section, L"GradualStyle", FGradual.Style());
    ini.WriteBool(section, L"Texture", FTexture.Enabled());
    ini.WriteInteger(section, L"TextureMode", FTexture.Mode());
}

void TAAEffect::LoadFromIni(TCustomIniFile& ini, const std::wstring& section) {
    auto color = [&](const wchar_t* key, TColorValue current) {
        return static_cast<TColorValue>(ini.ReadInteger(section, key, static_cast<int>(current)));
    };
    SetAlpha(ini.ReadInteger(section, L"Alpha", FAlpha));
    SetBlur(ini.ReadInteger(section, L"Blur", FBlur));
    SetNoise(ini.ReadInteger(section, L"Noise", FNoise));
    SetSpray(ini.ReadInteger(section, L"Spray", FSpray));
    SetAngle(ini.ReadInteger(section, L"Angle", FAngle));
    SetOutline(ini.ReadBool(section, L"Outline", FOutline));
    SetHorzMirror(ini.ReadBool(section, L"HorzMirror", FHorzMirror));
    SetVertMirror(ini.ReadBool(section, L"VertMirror", FVertMirror));
    FShadow.SetEnabled(ini.ReadBool(section, L"Shadow", FShadow.Enabled()));
    FShadow.SetAlpha(ini.ReadInteger(section, L"ShadowAlpha", FShadow.Alpha()));
    FShadow.SetBlur(ini.ReadInteger(section, L"ShadowBlur", FShadow.Blur()));
    FShadow.SetColor(color(L"ShadowColor", FShadow.Color()));
    FShadow.SetOffsetX(ini.ReadInteger(section, L"ShadowOffsetX", FShadow.OffsetX()));
    FShadow.SetOffsetY(ini.ReadInteger(section, L"ShadowOffsetY", FShadow.OffsetY()));
    FGradual.SetEnabled(ini.ReadBool(section, L"Gradual", FGradual.Enabled()));
    FGradual.SetStartColor(color(L"GradualStartColor", FGradual.StartColor()));
    FGradual.SetEndColor(color(L"GradualEndColor", FGradual.EndColor()));
    // An unknown style from a newer or damaged file falls back to the first one.
    const int style = ini.ReadInteger(section, L"GradualStyle", FGradual.Style());
    FGradual.SetStyle(style >= gsLeftToRight && style <= gsCenterToTB
                          ? static_cast<TGradualStyle>(style)
                          : gsLeftToRight);
    FTexture.SetEnabled(ini.ReadBool(section, L"Texture", FTexture.Enabled()));
    const int mode = ini.ReadInteger(section, L"TextureMode", FTexture.Mode());
    FTexture.SetMode(mode >= tmTiled && mode <= tmNormal ? static_cast<TTextureMode>(mode)
                                                         : tmTiled);
}
