// Reads a file's or folder's security descriptor as the tests see it.
//   QvSecurity sddl PATH     prints the owner and DACL in SDDL form ("O:...D:...")
// Exit code 0: done; 1: failed.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || ::lstrcmpW(argv[1], L"sddl") != 0) return 1;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (::GetNamedSecurityInfoW(argv[2], SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &sd) !=
        ERROR_SUCCESS)
        return 1;
    wchar_t* text = nullptr;
    const BOOL ok = ::ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, what, &text, nullptr);
    if (ok) std::printf("%ls\n", text);
    ::LocalFree(text);
    ::LocalFree(sd);
    return ok ? 0 : 1;
}
