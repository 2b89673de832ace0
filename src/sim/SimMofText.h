#pragma once
// Values and objects as MOF text, as GetObjectText_ and object paths write them.
#include <oaidl.h>

#include <string>
#include <vector>

#include "framework/ComTypes.h"
#include "sim/SimSchema.h"

// A property's value: strings quoted and escaped, arrays in braces, embedded objects as their
// own text.
std::wstring SimMofValue(const TSimPropertyDef& def, const VARIANT& value);
// "class Name : Superclass {...};" for a class, "instance of Name {...};" with the values that
// are not null for an instance.
std::wstring SimObjectText(const TSimClassDef& cls, bool isClass,
                           const std::vector<ScopedVariant>& values);
