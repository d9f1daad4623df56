#include "support/ftp_test_server.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

const wchar_t kFtpUser[] = L"autoupdater";
const wchar_t kFtpPassword[] = L"Tor%!&6284fern";

namespace {

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string ServerScript() {
    if (const char* configured = std::getenv("QV_FTP_SERVER_SCRIPT")) return configured;
    // This file is compiled from <source>/tests/wine/support/; the script is in tests/fixtures.
    std::string source = __FILE__;
    for (char& c : source) c = c == '\\' ? '/' : c;
    const size_t tests = source.rfind("/tests/wine/");
    return source.substr(0, tests) + "/tests/fixtures/ftpserver.py";
}

void DeleteTree(const std::wstring& folder) {
    std::wstring from = folder;
    from.push_back(L'\0');  // a list of one name, doubly terminated
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

// Starts a Unix program; Wine gives no handle back for one.
bool StartUnixProgram(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    return true;
}

bool WaitFor(DWORD timeoutMs, bool (*done)(const std::wstring&), const std::wstring& path) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done(path)) {
        if (GetTickCount64() > deadline) return false;
        Sleep(20);
    }
    return true;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Missing(const std::wstring& path) { return !Exists(path); }

}  // namespace

bool WriteWholeFile(const std::wstring& path, const std::string& content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
    CloseHandle(file);
    return content;
}

FtpTestServer::FtpTestServer() {
    char name[64];
    std::snprintf(name, sizeof name, "/tmp/qv-ftp-%lu-%llu", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()));
    m_unixWorkDir = name;
    m_workDir = L"Z:" + Widen(m_unixWorkDir);
    for (wchar_t& c : m_workDir) c = c == L'/' ? L'\\' : c;
    CreateDirectoryW(m_workDir.c_str(), nullptr);
    CreateDirectoryW(WindowsPath(L"root").c_str(), nullptr);
    SetFaults("{}");
}

FtpTestServer::~FtpTestServer() {
    Stop();
    DeleteTree(m_workDir);
}

std::wstring FtpTestServer::WindowsPath(const std::wstring& name) const { return m_workDir + L"\\" + name; }

std::string FtpTestServer::UnixPath(const std::string& name) const { return m_unixWorkDir + "/" + name; }

bool FtpTestServer::Start(DWORD timeoutMs) {
    const std::wstring ready = WindowsPath(L"ready.json");
    DeleteFileW(ready.c_str());
    const std::string arguments = "\"" + ServerScript() + "\" --port 0 --max-lifetime 900" + " --root " +
                                  UnixPath("root") + " --control " + UnixPath("control.json") + " --log " +
                                  UnixPath("requests.log") + " --ready " + UnixPath("ready.json");
    if (!StartUnixProgram(L"Z:\\usr\\bin\\python3", Widen(arguments))) return false;
    if (!WaitFor(timeoutMs, Exists, ready)) return false;
    const std::string text = ReadWholeFile(ready);
    const size_t colon = text.find("\"port\":");
    if (colon == std::string::npos) return false;
    m_port = static_cast<uint16_t>(std::atoi(text.c_str() + colon + 7));
    m_running = m_port != 0;
    return m_running;
}

void FtpTestServer::Stop() {
    if (!m_running) return;
    m_running = false;
    SetFaults(R"({"shutdown": true})");
    WaitFor(10000, Missing, WindowsPath(L"ready.json"));
}

void FtpTestServer::AddFolder(const std::wstring& ftpPath) {
    std::wstring path = WindowsPath(L"root");
    std::wstring part;
    for (wchar_t c : ftpPath + L"\\") {
        if (c != L'\\' && c != L'/') {
            part += c;
        } else if (!part.empty()) {
            path += L"\\" + part;
            part.clear();
            CreateDirectoryW(path.c_str(), nullptr);
        }
    }
}

void FtpTestServer::AddFile(const std::wstring& ftpPath, const std::string& content) {
    std::wstring path = ftpPath;
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    const size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos) AddFolder(path.substr(0, slash));
    WriteWholeFile(WindowsPath(L"root") + (path.front() == L'\\' ? L"" : L"\\") + path, content);
}

std::string FtpTestServer::AddFile(const std::wstring& ftpPath, size_t size) {
    std::string content(size, '\0');
    uint32_t state = static_cast<uint32_t>(size) * 2654435761u + 1;
    for (char& c : content) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 23);
    }
    AddFile(ftpPath, content);
    return content;
}

void FtpTestServer::SetFaults(const std::string& json) {
    // Replaced in one step so the server never reads half a file.
    const std::wstring temp = WindowsPath(L"control.json.tmp");
    WriteWholeFile(temp, json);
    MoveFileExW(temp.c_str(), WindowsPath(L"control.json").c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::vector<std::string> FtpTestServer::Requests() const {
    std::vector<std::string> lines;
    const std::string text = ReadWholeFile(WindowsPath(L"requests.log"));
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool FtpTestServer::HasRequest(const std::string& line) const {
    for (const std::string& request : Requests())
        if (request == line) return true;
    return false;
}

void FtpTestServer::ClearRequests() { WriteWholeFile(WindowsPath(L"requests.log"), std::string()); }
