#pragma once
// Putting a stand-in behind one of the test program's imports, for a call no seam reaches.
#include <windows.h>

#include <utility>

// Replaces an import of this program, found by the function it points at, while in scope.
class ImportHook {
public:
    ImportHook(void* target, void* replacement) {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             d->Name && !FSlot; ++d)
            for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
                 t->u1.Function && !FSlot; ++t)
                if (reinterpret_cast<void*>(t->u1.Function) == target)
                    FSlot = reinterpret_cast<void**>(&t->u1.Function);
        if (FSlot) FOriginal = Swap(replacement);
    }
    ~ImportHook() {
        if (FSlot) Swap(FOriginal);
    }
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;
    bool Installed() const { return FSlot != nullptr; }

private:
    void* Swap(void* value) {
        DWORD protection = 0;
        VirtualProtect(FSlot, sizeof *FSlot, PAGE_READWRITE, &protection);
        void* previous = std::exchange(*FSlot, value);
        VirtualProtect(FSlot, sizeof *FSlot, protection, &protection);
        return previous;
    }
    void** FSlot = nullptr;
    void* FOriginal = nullptr;
};
