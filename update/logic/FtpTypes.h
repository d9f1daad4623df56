// Records, return codes and the session interface shared by the FTP client, the catalogue, the
// download worker and their test doubles. Pure: no Win32 types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One file listed on the update server, copied byte for byte between owners.
struct FTP_FILE_INFO {
    int32_t dwFileSize = -1;       // low 32 bits of the listed size
    wchar_t szFileName[260] = {};  // NUL-terminated, at most 259 characters

    // Stores a name, cutting it at 259 characters so the record always stays terminated.
    void SetName(const std::wstring& name);
    // The name up to its terminator (or the whole field if a copied record lacks one).
    std::wstring Name() const;
};

// The record's size for a listed size of high:low: the size itself below 2 GiB, else -1, which the
// download refuses. Keeping only the low 32 bits would turn a file of 4 GiB + n bytes into one of n.
int32_t ListedFileSize(uint32_t high, uint32_t low);

// Results of the session operations.
constexpr int kFtpSuccess = 1;
constexpr int kFtpFailed = 0;  // Connect: no FTP connection; OpenFile: not opened; CloseFile
constexpr int kFtpError = -1;  // Connect: no internet session; ListFiles: search failed; Read
// Outcome of OpenFile: the connection had been reset and was re-established; open again.
constexpr int kFtpReconnected = 12031;
// Outcome of Read with the same meaning; negative so it can never be mistaken for a byte count.
constexpr int kFtpReadReconnected = -12031;

// "<title>\r\n ERROR CODE : [ <code> ]", the form of the session's error texts.
std::wstring FormatFtpError(const wchar_t* title, unsigned long code);

// The six operations of an FTP session, so the download logic can run against a scripted double.
class IFtpSession {
public:
    virtual ~IFtpSession() = default;
    // -1: no internet session; 0: the FTP connection failed; 1: connected.
    virtual int Connect(std::wstring server, std::wstring user, std::wstring password, uint16_t port) = 0;
    // Number of files appended (>= 1); 0: no file; -1: the search failed.
    virtual int ListFiles(const std::wstring& folder, std::vector<FTP_FILE_INFO>& files,
                          const std::wstring& extension) = 0;
    // 1: opened; 0: not connected or failed; kFtpReconnected: reset and reconnected, not open.
    virtual int OpenFile(const std::wstring& path) = 0;
    // Bytes read (0 at the end); kFtpReadReconnected; -1: the read failed.
    virtual int Read(void* buffer, int count) = 0;
    // 1: closed or nothing open; 0: closing failed.
    virtual int CloseFile() = 0;
    virtual void Disconnect() = 0;
    virtual std::wstring LastError() const = 0;
};
