#pragma once
// What offers a current WMI object and its services: a connection or a query dataset.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

class TComponent;

// {AD6BE6CC-5064-4EE3-8260-158BF92D0330}
inline constexpr GUID IID_IWmiObjectSource = {
    0xAD6BE6CC, 0x5064, 0x4EE3, {0x82, 0x60, 0x15, 0x8B, 0xF9, 0x2D, 0x03, 0x30}};

class IWmiObjectSource {
public:
    // The object the source stands on, or nullptr.
    virtual Microsoft::WRL::ComPtr<IDispatch> GetWmiObject() = 0;
    // The services object, or nullptr.
    virtual Microsoft::WRL::ComPtr<IDispatch> GetWmiServices() = 0;
    virtual TComponent* GetComponent() = 0;

protected:
    ~IWmiObjectSource() = default;
};
