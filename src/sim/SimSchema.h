#pragma once
// The classes the simulated provider knows: their properties, methods and CIM types.
#include <memory>
#include <string>
#include <vector>

// CIM types of the schema (the numbers WMI's CIMType answers).
enum TSimCimType : long {
    CimSint16 = 2,
    CimSint32 = 3,
    CimReal32 = 4,
    CimReal64 = 5,
    CimString = 8,
    CimBoolean = 11,
    CimObject = 13,
    CimSint8 = 16,
    CimUint8 = 17,
    CimUint16 = 18,
    CimUint32 = 19,
    CimSint64 = 20,
    CimUint64 = 21,
    CimDatetime = 101,
    CimReference = 102,
    CimChar16 = 103,
};

struct TSimPropertyDef {
    std::wstring Name;
    long CimType = CimString;
    bool IsArray = false;
    bool Key = false;      // the "key" qualifier
    bool ReadOnly = false; // the "ReadOnly" qualifier
};

struct TSimMethodDef {
    std::wstring Name;
    std::vector<TSimPropertyDef> InParameters; // in their order; an empty list has no object
};

struct TSimClassDef {
    std::wstring Name;
    std::wstring Superclass;
    std::vector<TSimPropertyDef> Properties; // in the order Properties_ lists them
    std::vector<TSimMethodDef> Methods;
};

// Win32_NetworkAdapterConfiguration or Win32_NetworkAdapter (names ignore case), or nullptr.
std::shared_ptr<const TSimClassDef> SimAdapterClass(const std::wstring& name);
// MSFT_NetAdapter of root\StandardCimv2 (names ignore case), or nullptr.
std::shared_ptr<const TSimClassDef> SimNetAdapterClass(const std::wstring& name);
// MSNdis_StatusMediaConnect or MSNdis_StatusMediaDisconnect of root\WMI, or nullptr.
std::shared_ptr<const TSimClassDef> SimMediaEventClass(const std::wstring& name);
// A method's parameter object class (__PARAMETERS) with these properties.
std::shared_ptr<const TSimClassDef> SimParameterClass(std::vector<TSimPropertyDef> properties);
// What every adapter method answers: ReturnValue.
std::shared_ptr<const TSimClassDef> SimOutParameterClass();
// The CIM type's name as MOF writes it ("uint32", "string", ...).
std::wstring SimCimTypeName(long cimType);
// The provider's spelling of a namespace it serves ("root\cimv2", "root\WMI",
// "root\StandardCimv2"; empty is
// root\cimv2); empty for any other.
std::wstring SimNamespace(const std::wstring& name);
