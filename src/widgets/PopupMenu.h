#pragma once
// A popup menu built from items in code; the menu handle exists only while it is shown.
#include <windows.h>

#include <string>
#include <vector>

#include "framework/Component.h"

class TMenuItem : public TComponent {
public:
    using TComponent::TComponent;
    const std::wstring& Caption() const { return FCaption; }
    // "-" makes the item a separator.
    void SetCaption(std::wstring caption) { FCaption = std::move(caption); }
    bool IsSeparator() const { return FCaption == L"-"; }
    // The default item is drawn bold and chosen by a double click on what opens the menu.
    bool Default() const { return FDefault; }
    void SetDefault(bool on) { FDefault = on; }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool on) { FEnabled = on; }
    // Raises OnClick, as choosing the item does.
    void Click();
    TNotifyEvent OnClick;

private:
    std::wstring FCaption;
    bool FDefault = false;
    bool FEnabled = true;
};

class TPopupMenu : public TComponent {
public:
    using TComponent::TComponent;
    TMenuItem* Add(const std::wstring& caption, TNotifyEvent onClick = nullptr);
    size_t Count() const { return FItems.size(); }
    TMenuItem* Item(size_t i) const { return FItems[i]; }
    // The first item, in menu order, with the default flag; null when there is none.
    TMenuItem* DefaultItem() const;
    bool AutoPopup() const { return FAutoPopup; }
    void SetAutoPopup(bool on) { FAutoPopup = on; }
    // The component that opened the menu last.
    TComponent* PopupComponent() const { return FPopupComponent; }
    void SetPopupComponent(TComponent* c) { FPopupComponent = c; }
    // Shows the menu at a screen point for owner and waits until it closes; answers the item
    // chosen, not yet clicked, or null. The caller clicks it once the menu is gone.
    TMenuItem* Track(POINT at, HWND owner);

private:
    std::vector<TMenuItem*> FItems;
    bool FAutoPopup = true;
    TComponent* FPopupComponent = nullptr;
};
