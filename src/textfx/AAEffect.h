#pragma once
// The effect settings of the text engine: shadow, gradient, texture and the effects on the
// text itself. Each group notifies its callback of every change that alters the picture.
#include <memory>
#include <string>

#include "textfx/NotifyClass.h"
#include "textfx/PixelBuffers.h"
#include "textfx/PixelKernels.h"

class TCustomIniFile;
class TJpegPicture;

class TAAShadow : public TEnabledClass {
public:
    using TEnabledClass::TEnabledClass;
    int Blur() const { return FBlur; }
    void SetBlur(int value);
    int Alpha() const { return FAlpha; }
    void SetAlpha(int value);
    TColorValue Color() const { return FColor; }
    void SetColor(TColorValue value) { Update(FColor, value); }
    int OffsetX() const { return FOffsetX; }
    void SetOffsetX(int value);
    int OffsetY() const { return FOffsetY; }
    void SetOffsetY(int value);
    void Assign(const TNotifyClass& source) override;

private:
    int FBlur = 80;
    int FAlpha = 70;
    TColorValue FColor = 0x444444;
    int FOffsetX = 2;
    int FOffsetY = 2;
};

class TAAGradual : public TEnabledClass {
public:
    using TEnabledClass::TEnabledClass;
    TGradualStyle Style() const { return FStyle; }
    void SetStyle(TGradualStyle value) { Update(FStyle, value); }
    TColorValue StartColor() const { return FStartColor; }
    void SetStartColor(TColorValue value) { Update(FStartColor, value); }
    TColorValue EndColor() const { return FEndColor; }
    void SetEndColor(TColorValue value) { Update(FEndColor, value); }
    void Assign(const TNotifyClass& source) override;

private:
    TGradualStyle FStyle = gsLeftToRight;
    TColorValue FStartColor = 0xFFFFFF;
    TColorValue FEndColor = 0;
};

class TAATexture : public TEnabledClass {
public:
    using TEnabledClass::TEnabledClass;
    TTextureMode Mode() const { return FMode; }
    void SetMode(TTextureMode value) { Update(FMode, value); }
    // Shared, so a picture can be handed between groups without decoding it again. An empty
    // picture counts as no texture.
    const std::shared_ptr<TJpegPicture>& Picture() const { return FPicture; }
    void SetPicture(std::shared_ptr<TJpegPicture> value);
    void Assign(const TNotifyClass& source) override;

private:
    TTextureMode FMode = tmTiled;
    std::shared_ptr<TJpegPicture> FPicture;
};

class TAAEffect : public TNotifyClass {
public:
    explicit TAAEffect(TChangeEvent onChange = {}, TComponent* owner = nullptr);

    TAAShadow& Shadow() { return FShadow; }
    const TAAShadow& Shadow() const { return FShadow; }
    TAAGradual& Gradual() { return FGradual; }
    const TAAGradual& Gradual() const { return FGradual; }
    TAATexture& Texture() { return FTexture; }
    const TAATexture& Texture() const { return FTexture; }

    // Opacity of text and shadow, percent.
    int Alpha() const { return FAlpha; }
    void SetAlpha(int value);
    int Blur() const { return FBlur; }
    void SetBlur(int value);
    // Degrees, counter-clockwise.
    int Angle() const { return FAngle; }
    void SetAngle(int value);
    int Noise() const { return FNoise; }
    void SetNoise(int value);
    // Scatter radius in pixels.
    int Spray() const { return FSpray; }
    void SetSpray(int value);
    bool Outline() const { return FOutline; }
    void SetOutline(bool value) { Update(FOutline, value); }
    bool HorzMirror() const { return FHorzMirror; }
    void SetHorzMirror(bool value) { Update(FHorzMirror, value); }
    bool VertMirror() const { return FVertMirror; }
    void SetVertMirror(bool value) { Update(FVertMirror, value); }

    void Assign(const TNotifyClass& source) override;
    void SaveToIni(TCustomIniFile& ini, const std::wstring& section) const;
    // Missing keys keep the current values; values out of range are brought into it.
    void LoadFromIni(TCustomIniFile& ini, const std::wstring& section);

private:
    // The sub-groups report through this group's callback, whenever that is set.
    void ForwardChange(TNotifyClass& sender);

    TAAShadow FShadow;
    TAAGradual FGradual;
    TAATexture FTexture;
    int FAlpha = 100;
    int FBlur = 0;
    int FAngle = 0;
    int FNoise = 0;
    int FSpray = 0;
    bool FOutline = false;
    bool FHorzMirror = false;
    bool FVertMirror = false;
};
