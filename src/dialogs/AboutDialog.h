#pragma once
// The About box: the logo, the product's name and version, and the maker's address.
#include "framework/Form.h"
#include "framework/Image.h"
#include "framework/Scoped.h"
#include "framework/StdCtrls.h"
#include "widgets/LinkLabel.h"

class TfrmAbout : public TForm {
public:
    explicit TfrmAbout(TComponent* owner);
    void btn1Click(TComponent* sender);

    TImage* img1;
    TStaticText* lbl1;
    TStaticText* lbl2;
    TURLLabel* URLLabel1;
    TButton* btn1;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();
    ScopedFont FFont;
    ScopedFont FTitleFont;
    ScopedFont FBoldFont;
};

void ExecuteAboutDialog();
