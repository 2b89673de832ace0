// A DLL of a name no system has, built beside the test programs: what a planted DLL would be.
#include <windows.h>

extern "C" __declspec(dllexport) int TarnwickPlantedProbe() {
    return 42;
}
