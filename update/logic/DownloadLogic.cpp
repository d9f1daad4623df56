// Transfer of the chosen items: one session per item, 30720-byte blocks, a restart from the first
// byte after every reset, and the notices of each failure.
#include "update/logic/DownloadLogic.h"

#include <algorithm>
#include <cstdint>

#include "system/logic/TextId.h"
#include "system/logic/TextTable.h"

namespace {

const unsigned kBlockPauseMs = 1;
const unsigned kFinalPauseMs = 500;

class Downloader {
public:
    Downloader(const DownloadRequest& request, const std::vector<std::wstring>& texts,
               const FtpSessionFactory& newSession, ILocalFiles& files, IDownloadSink& sink)
        : request_(request),
          texts_(texts),
          newSession_(newSession),
          files_(files),
          sink_(sink),
          buffer_(kTransferBlockSize) {}

    int Run() {
        files_.CreateFolderTree(request_.workFolder);
        for (const UPDATE_ITEM& item : request_.items) {
            if (sink_.StopRequested()) return 0;
            if (!DownloadItem(item)) return 0;
        }
        sink_.FinalPause(kFinalPauseMs);
        return 1;
    }

private:
    enum class Transfer { Done, Restart, Stopped, Failed };

    const std::wstring& Text(TextId id) const {
        static const std::wstring kEmpty;
        const int k = static_cast<int>(id);
        return k >= 0 && static_cast<size_t>(k) < texts_.size() ? texts_[static_cast<size_t>(k)] : kEmpty;
    }

    // Reports the failure with its notice (none for TextId::None).
    bool Fail(TextId first, TextId second = TextId::None) {
        if (first != TextId::None) sink_.Failed(Text(first), Text(second));
        return false;
    }

    bool DownloadItem(const UPDATE_ITEM& item) {
        const std::wstring name = item.Name();
        // A size of 2 GiB or more wraps negative in the 32-bit record and cannot be transferred.
        if (!HasSetupExtension(name) || !IsSafeLocalFileName(name) || item.dwFileSize < 0) {
            return Fail(TextId::InvalidUpdateFile, TextId::TryAgain);
        }
        const std::wstring remotePath = request_.serverFolder + name;
        const std::wstring localPath = request_.workFolder + L"\\" + LocalNameOf(name);

        std::unique_ptr<IFtpSession> session = newSession_();
        const FtpConnectionSettings& server = request_.server;
        const int connected = session->Connect(server.host, server.user, server.password, server.port);
        if (connected != 1) {
            session->Disconnect();
            if (connected == -1) return Fail(TextId::None);  // no internet session: no notice
            return Fail(TextId::ConnectFailed, TextId::TryAgain);
        }

        for (;;) {
            if (sink_.StopRequested()) {
                session->Disconnect();
                return false;
            }
            const int opened = session->OpenFile(remotePath);
            if (opened == kFtpReconnected) continue;
            if (opened != 1) {
                session->Disconnect();
                return Fail(TextId::CannotOpenRemoteFile);
            }
            if (!files_.Create(localPath)) {
                session->CloseFile();
                session->Disconnect();
                return Fail(TextId::CannotOpenLocalFile);
            }
            sink_.ShowBanner(Text(TextId::Downloading));

            switch (TransferFile(*session, item, localPath)) {
            case Transfer::Restart: continue;
            case Transfer::Stopped:
            case Transfer::Failed: return false;
            case Transfer::Done: break;
            }
            session->CloseFile();
            session->Disconnect();
            files_.Close();
            sink_.ShowRowState(item.nListRow, Text(TextId::Completed));
            sink_.ShowBanner(Text(TextId::PreparingInstallation));
            return true;
        }
    }

    // Releases both files and the connection and removes the partial local file.
    void Abandon(IFtpSession& session, const std::wstring& localPath) {
        files_.Close();
        session.CloseFile();
        session.Disconnect();
        files_.Delete(localPath);
    }

    Transfer TransferFile(IFtpSession& session, const UPDATE_ITEM& item, const std::wstring& localPath) {
        // 64-bit counters so that sizes near 2 GiB cannot overflow the block arithmetic.
        const int64_t total = item.dwFileSize;
        int64_t done = 0;
        do {
            if (sink_.StopRequested()) {
                Abandon(session, localPath);
                return Transfer::Stopped;
            }
            const int request = static_cast<int>(std::min<int64_t>(kTransferBlockSize, total - done));
            std::fill(buffer_.begin(), buffer_.end(), static_cast<unsigned char>(0));
            const int got = session.Read(buffer_.data(), request);
            if (got == kFtpReadReconnected) {
                // The file is fetched again from its first byte over the new connection.
                files_.Close();
                session.CloseFile();
                files_.Delete(localPath);
                return Transfer::Restart;
            }
            // Nothing read before the listed size is reached means the server's file is shorter
            // (or the line dropped): waiting would loop forever.
            if (got < 0 || got > request || (got == 0 && request > 0)) {
                Abandon(session, localPath);
                Fail(TextId::ReadError, TextId::CheckInternetAndRetry);
                return Transfer::Failed;
            }
            if (got > 0 && !files_.Write(buffer_.data(), got)) {
                Abandon(session, localPath);
                Fail(TextId::WriteError);
                return Transfer::Failed;
            }
            done += got;
            ShowProgress(item.nListRow, total, done);
            sink_.Sleep(kBlockPauseMs);
        } while (total > done);
        return Transfer::Done;
    }

    void ShowProgress(int row, int64_t total, int64_t done) {
        // The percentage passes through float precision; an empty file counts as complete.
        const double exact = total > 0 ? static_cast<double>(done) / static_cast<double>(total) * 100.0 : 100.0;
        const float percent = static_cast<float>(exact);
        const std::wstring text = FormatProgressText(Text(TextId::ProgressFormat), percent, L"%");
        if (hasShownStatus_ && shownRow_ == row && shownStatus_ == text) return;
        sink_.ShowProgress(row, text);
        hasShownStatus_ = true;
        shownRow_ = row;
        shownStatus_ = text;
    }

    const DownloadRequest& request_;
    const std::vector<std::wstring>& texts_;
    const FtpSessionFactory& newSession_;
    ILocalFiles& files_;
    IDownloadSink& sink_;
    std::vector<unsigned char> buffer_;
    bool hasShownStatus_ = false;
    int shownRow_ = -1;
    std::wstring shownStatus_;
};

}  // namespace

bool HasSetupExtension(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    return name.substr(dot == std::wstring::npos ? 0 : dot + 1, 3) == L"exe";
}

std::wstring LocalNameOf(const std::wstring& name) {
    const std::wstring upper = ToUpperPath(name);
    std::wstring out;
    size_t pos = 0;
    for (;;) {
        const size_t hit = upper.find(L".CIF", pos);
        if (hit == std::wstring::npos) break;
        out.append(upper, pos, hit - pos);
        out += L".EXE";
        pos = hit + 4;
    }
    out.append(upper, pos, std::wstring::npos);
    return out;
}

int DownloadUpdates(const DownloadRequest& request, const std::vector<std::wstring>& texts,
                    const FtpSessionFactory& newSession, ILocalFiles& files, IDownloadSink& sink) {
    return Downloader(request, texts, newSession, files, sink).Run();
}
