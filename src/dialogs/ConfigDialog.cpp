#include "dialogs/ConfigDialog.h"

std::wstring ExecuteConfigDialog() {
    return {};
}
