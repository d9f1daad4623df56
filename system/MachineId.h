// The PC's own identifier: the machine GUID Windows sets up at installation, the same for every
// user and every run of the PC.
#pragma once

#include <string>

// HKLM\SOFTWARE\Microsoft\Cryptography\MachineGuid from the 64-bit view of the registry (the
// value a 32-bit program would otherwise miss under WOW64); empty when there is none.
std::wstring ReadMachineId();
