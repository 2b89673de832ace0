#include "dialogs/AdapterItem.h"

#include "framework/Strings.h"

std::wstring AdapterItemText(const std::wstring& index, const std::wstring& description) {
    return index + L": " + description;
}

std::wstring AdapterOfItem(const std::wstring& item) {
    return item.substr(0, item.find(L':'));
}

bool AdapterItemNumber(const std::wstring& item, int& number) {
    return TryTextToInt(AdapterOfItem(item), number);
}
