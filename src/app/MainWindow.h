#pragma once
// The main window: a landscape picture with the two profile labels.
#include "framework/Form.h"

class TfrmMainWindow : public TForm {
public:
    explicit TfrmMainWindow(TComponent* owner);

private:
    void FormCreate();
};
