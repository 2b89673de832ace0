#include "widgets/PopupMenu.h"

#include <memory>
#include <type_traits>

#include "framework/Application.h"

void TMenuItem::Click() {
    if (OnClick) OnClick(this);
}

TMenuItem* TPopupMenu::Add(const std::wstring& caption, TNotifyEvent onClick) {
    auto* item = Own<TMenuItem>();
    item->SetCaption(caption);
    item->OnClick = std::move(onClick);
    FItems.push_back(item);
    return item;
}

TMenuItem* TPopupMenu::DefaultItem() const {
    for (TMenuItem* item : FItems)
        if (item->Default()) return item;
    return nullptr;
}

TMenuItem* TPopupMenu::Track(POINT at, HWND owner) {
    std::unique_ptr<std::remove_pointer_t<HMENU>, decltype(&DestroyMenu)> menu(CreatePopupMenu(),
                                                                               &DestroyMenu);
    if (!menu) return nullptr;
    for (size_t i = 0; i < FItems.size(); ++i) {
        const TMenuItem* item = FItems[i];
        // Command 0 means "nothing chosen", so the ids start at 1.
        if (item->IsSeparator())
            AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(menu.get(), MF_STRING | (item->Enabled() ? 0 : MF_GRAYED), i + 1,
                        item->Caption().c_str());
    }
    if (const TMenuItem* item = DefaultItem()) {
        for (size_t i = 0; i < FItems.size(); ++i)
            if (FItems[i] == item) SetMenuDefaultItem(menu.get(), static_cast<UINT>(i + 1), FALSE);
    }
    const int command = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                       at.x, at.y, 0, owner, nullptr);
    if (command <= 0 || static_cast<size_t>(command) > FItems.size()) return nullptr;
    return FItems[command - 1];
}
