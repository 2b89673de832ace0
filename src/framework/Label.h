#pragma once
// A plain windowless text label.
#include <string>

#include "framework/GraphicControl.h"

class TLabel : public TGraphicControl {
public:
    TLabel(TComponent* owner, TForm* parent);

    const std::wstring& Caption() const { return FCaption; }
    void SetCaption(const std::wstring& caption);
    TFont& Font() { return FFont; }
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool transparent);
    // Makes the label as large as its caption.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);

    void Paint(TCanvas& canvas) override;
    TFont* ScalableFont() override { return &FFont; }

private:
    void AdjustSize();

    std::wstring FCaption;
    TFont FFont;
    bool FTransparent = false;
    bool FAutoSize = false;
};
