// The update catalogue: where this copy's update files live on the server, what the server holds
// there, the installed scanner's version, and the row that offers the setup program.
#pragma once

#include "framework/Win32.h"
#include "update/logic/FtpTypes.h"

#include <string>
#include <vector>

// The cells of the row that offers a setup program.
struct OfferedRow {
    std::wstring title;
    std::wstring installedVersion;
    std::wstring serverVersion;
    int record = -1;  // index of the server file the row stands for
};

class CUpdateCatalogue {
public:
    // The server check: reads the installed scanner's version (`owner` owns the shell's request),
    // makes the work folder private and empties it (left alone when it cannot be made private), then
    // lists the edition's folder on the server. False when the server cannot be reached; the server
    // files are then none.
    bool Check(HWND owner);
    // The row to offer, or false when the listing holds no setup program that may be offered.
    bool FindOfferedRow(OfferedRow& row) const;
    // The listed file a row stands for, or null for a record the listing does not hold.
    const FTP_FILE_INFO* ServerFile(int record) const;

    // The server folder in its listing form (for ListFiles) and in its download form (joined
    // directly with a file name); each rebuilds the edition source and the server folder.
    std::wstring BuildServerFolder();
    std::wstring BuildServerFolderForDownload();
    // "Test" when the marker file lies beside the program, else empty.
    std::wstring GetTestSuffix() const;

    static std::wstring GetWorkFolder();
    static std::wstring GetUpdateHost();

private:
    std::wstring m_strEditionSource;
    std::wstring m_strServerFolder;
    std::vector<FTP_FILE_INFO> m_vecServerFiles;
    std::wstring m_strInstalledVersion = L"-";
    std::wstring m_strBitness;
};
