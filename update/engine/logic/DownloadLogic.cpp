// Transfer of the chosen items: 30720-byte blocks, a new connection after the line breaks that
// goes on from the bytes on disk, bounded retries, and the result of each failure.
#include "update/engine/logic/DownloadLogic.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

const unsigned kBlockPauseMs = 1;
const unsigned kPauseSliceMs = 100;  // a pause before reconnecting still answers a stop request

class Downloader {
public:
    Downloader(const DownloadRequest& request, const SourceSessionFactory& newSession, ILocalFiles& files,
               IDownloadSink& sink, const NextSourceFinder& nextSource)
        : request_(request),
          source_{request.server, newSession},
          nextSource_(nextSource),
          files_(files),
          sink_(sink),
          buffer_(kTransferBlockSize) {}

    DownloadResult Run() {
        files_.CreateFolderTree(request_.workFolder);
        for (size_t k = 0; k < request_.items.size(); ++k) {
            if (sink_.StopRequested()) return DownloadResult::Stopped;
            const DownloadResult result = DownloadItem(k);
            if (result != DownloadResult::Completed) return result;
        }
        return DownloadResult::Completed;
    }

private:
    // How one connection's attempt at the file ended.
    enum class Attempt { Done, Broken, Stopped, Failed };

    // The state of one item across its attempts.
    struct Item {
        size_t index = 0;
        std::wstring remotePath;
        std::wstring localPath;
        int64_t total = 0;
        int64_t done = 0;                 // bytes on disk
        int64_t best = 0;                 // the most bytes on disk so far: beyond it a byte is new
        uint64_t startMs = 0;             // when the first attempt at this source began
        int64_t written = 0;              // bytes written since then, across attempts
        bool created = false;             // the local file exists and is open
        bool resumed = false;             // this attempt asked the server for an offset
        bool noRestart = false;           // the server ignores offsets: always from byte 0
        bool sizeTold = false;            // the server has answered SIZE for this item
        int overlap = 0;                  // bytes before `done` this attempt must still receive and compare
        std::vector<unsigned char> tail;  // the last bytes written, up to the resume overlap
        LineFault fault = LineFault::None;
        DownloadResult failure = DownloadResult::ReadFailed;
    };

    void Report(const Item& item, DownloadState state, int attempt = 0) {
        DownloadStatus status;
        status.item = item.index;
        status.state = state;
        status.done = item.done;
        status.total = item.total;
        status.attempt = attempt;
        status.fault = state == DownloadState::Reconnecting ? item.fault : LineFault::None;
        status.resumeFrom = item.done;
        sink_.Report(status);
    }

    DownloadResult DownloadItem(size_t index) {
        const RemoteEntry& listed = request_.items[index];
        const std::wstring name = listed.name;
        if (!IsSetupProgramName(name) || !IsSafeLocalFileName(name) || listed.size < 0)
            return DownloadResult::InvalidFile;
        Item item;
        item.index = index;
        item.total = listed.size;
        item.remotePath = request_.serverFolder + name;
        item.localPath = request_.workFolder + L"\\" + LocalNameOf(name);
        GoOnFromKept(item);
        const int64_t free = files_.FreeSpace(request_.workFolder);
        if (free >= 0 && free < item.total - item.done) {
            if (item.created) files_.Abandon(item.localPath, true);
            return DownloadResult::DiskFull;
        }
        item.startMs = sink_.NowMs();

        Report(item, DownloadState::Connecting);
        std::unique_ptr<ISourceSession> session = source_.newSession();
        const ConnectResult connected = session->Connect(source_.server);
        if (connected != ConnectResult::Connected) {
            session->Disconnect();
            session.reset();
            // The source of the check is down already: another that holds the file may serve it.
            if (!MoveOn(item, name)) {
                if (item.created) files_.Abandon(item.localPath, true);
                return connected == ConnectResult::NoInternet ? DownloadResult::NoInternet
                                                              : DownloadResult::ConnectFailed;
            }
            Report(item, DownloadState::Reconnecting, 1);
            session = Reconnect(item);
        }
        return Attempts(item, name, std::move(session));
    }

    // The item's attempts from its first connection (null when it failed) until it is complete or
    // they have ended.
    DownloadResult Attempts(Item& item, const std::wstring& name, std::unique_ptr<ISourceSession> session) {
        int barren = 0;  // attempts in a row that brought no new byte
        for (;;) {
            Attempt attempt = session ? Transfer(*session, item) : Attempt::Broken;
            if (attempt == Attempt::Done) {
                session->CloseFile();
                session->Disconnect();
                if (!files_.Close()) {
                    files_.Delete(item.localPath);
                    return DownloadResult::WriteFailed;
                }
                Report(item, DownloadState::Completed);
                return DownloadResult::Completed;
            }
            if (session) {
                session->CloseFile();
                session->Disconnect();
                session.reset();
            }
            if (attempt == Attempt::Broken) attempt = AfterBroken(item, name, barren);
            if (attempt == Attempt::Stopped || attempt == Attempt::Failed) {
                // Bytes are sound unless writing them failed.
                const bool sound = attempt == Attempt::Stopped || item.failure != DownloadResult::WriteFailed;
                if (item.created) files_.Abandon(item.localPath, sound);
                return attempt == Attempt::Stopped ? DownloadResult::Stopped : item.failure;
            }
            session = Reconnect(item);
        }
    }

    // After a broken attempt: the pause before the next, or the next source when this one has spent
    // its retries or brings too little across its attempts, or the end of the item.
    Attempt AfterBroken(Item& item, const std::wstring& name, int& barren) {
        barren = item.done > item.best ? 0 : barren + 1;
        item.best = std::max(item.best, item.done);
        const bool tooSlow = TooSlowAcrossAttempts(request_.bounds, item.startMs, item.written, sink_.NowMs());
        if (tooSlow) item.fault = LineFault::Slow;
        if (!tooSlow && !RetriesExhausted(request_.bounds, barren)) {
            Report(item, DownloadState::Reconnecting, barren + 1);
            return Pause(RetryPauseMs(request_.bounds, barren)) ? Attempt::Broken : Attempt::Stopped;
        }
        if (!MoveOn(item, name)) return Fail(item, DownloadResult::ReadFailed);
        barren = 0;
        item.startMs = sink_.NowMs();
        item.written = 0;
        Report(item, DownloadState::Reconnecting, 1);
        return Attempt::Broken;
    }

    // Bytes an earlier run kept of the file are on disk: the first attempt goes on from them as
    // after a broken line, its overlap checking their end.
    void GoOnFromKept(Item& item) {
        const size_t overlap = static_cast<size_t>(std::max(request_.bounds.resumeOverlap, 0));
        item.done = std::min(files_.OpenKept(item.localPath, overlap, item.tail), item.total);
        item.best = item.done;
        item.created = item.done > 0;
    }

    // A new connection for the next attempt, or null (with the item's fault) when it failed.
    std::unique_ptr<ISourceSession> Reconnect(Item& item) {
        std::unique_ptr<ISourceSession> session = source_.newSession();
        if (session->Connect(source_.server) != ConnectResult::Connected) {
            session->Disconnect();
            item.fault = LineFault::ConnectFailed;
            return nullptr;
        }
        return session;
    }

    // The source in use is gone for good: the next one that holds the same file takes over, and
    // what it knows of the file is learnt anew. The bytes on disk stay.
    bool MoveOn(Item& item, const std::wstring& name) {
        if (!nextSource_ || sink_.StopRequested()) return false;
        NextSource next;
        if (!nextSource_(name, next) || !next.newSession) return false;
        source_ = std::move(next);
        item.fault = LineFault::SourceGone;
        item.sizeTold = false;
        item.noRestart = false;
        return true;
    }

    // Sleeps in short pieces; false when a stop request came meanwhile.
    bool Pause(uint32_t milliseconds) {
        while (milliseconds > 0) {
            if (sink_.StopRequested()) return false;
            const uint32_t slice = std::min<uint32_t>(milliseconds, kPauseSliceMs);
            sink_.Sleep(slice);
            milliseconds -= slice;
        }
        return !sink_.StopRequested();
    }

    Attempt Broken(Item& item, LineFault fault) {
        item.fault = fault;
        return Attempt::Broken;
    }

    Attempt Fail(Item& item, DownloadResult failure) {
        item.failure = failure;
        return Attempt::Failed;
    }

    // Goes on from the bytes on disk when the server still holds the listed file and accepts the
    // offset; otherwise the file starts again from its first byte. A resumed transfer starts a little
    // before the end of the bytes on disk, so the server shows it honoured the offset by sending
    // bytes already known.
    Attempt Position(ISourceSession& session, Item& item) {
        item.resumed = false;
        item.overlap = 0;
        if (item.noRestart)
            return item.done == 0 || StartAgain(item) ? Attempt::Done : Fail(item, DownloadResult::WriteFailed);
        // SIZE is asked from the first connection on (where the source knows sizes up front) until
        // the server answers it once. A server that answered it for this item can answer it: a size it
        // cannot tell now is a broken line (over HTTPS the HEAD is the first contact after
        // reconnecting), and the bytes on disk stay. A server that never answered may not know SIZE:
        // the resume cannot be confirmed, so the file starts again. Only a known size other than the
        // listed one means the file changed.
        if (item.done == 0 && (item.sizeTold || !session.KnowsSizeUpFront())) return Attempt::Done;
        const int64_t size = session.RemoteFileSize(item.remotePath);
        const bool told = item.sizeTold;
        item.sizeTold = told || size >= 0;
        if (item.done == 0) return Attempt::Done;
        if (size < 0 && told) return Broken(item, LineFault::Reset);
        if (size == item.total) {
            const int overlap = static_cast<int>(item.tail.size());
            const int64_t start = item.done - overlap;
            // Everything on disk is within the overlap: the file from its start checks all of it.
            if (start == 0) {
                item.overlap = overlap;
                return Attempt::Done;
            }
            // A refused REST leaves no offset behind: this connection goes on from byte 0.
            const SourceOpen restart = session.RestartAt(start);
            if (restart == SourceOpen::LineFault) return Broken(item, LineFault::Reset);
            if (restart == SourceOpen::Done) {
                item.resumed = true;
                item.overlap = overlap;
                return Attempt::Done;
            }
        }
        return StartAgain(item) ? Attempt::Done : Fail(item, DownloadResult::WriteFailed);
    }

    // Empties the local file: the next byte written is the file's first.
    bool StartAgain(Item& item) {
        if (!files_.Rewind()) return false;
        item.done = 0;
        item.tail.clear();
        return true;
    }

    // Keeps the last bytes written for the overlap of the next resumed transfer.
    void KeepTail(Item& item, const unsigned char* data, int count) {
        const size_t bound = static_cast<size_t>(std::max(request_.bounds.resumeOverlap, 0));
        const size_t n = static_cast<size_t>(count);
        if (n >= bound) {
            item.tail.assign(data + (n - bound), data + n);
            return;
        }
        item.tail.insert(item.tail.end(), data, data + n);
        if (item.tail.size() > bound) item.tail.erase(item.tail.begin(), item.tail.end() - static_cast<long>(bound));
    }

    // The file starts again from its first byte on the next connection (a server that took an
    // offset may still hold it): the server refused the offset, or sent other bytes than those on
    // disk. In the second case it ignores offsets or its file is no longer the one on disk, so no
    // later attempt asks for one.
    Attempt StartOver(Item& item, bool askNoMore) {
        if (!StartAgain(item)) return Fail(item, DownloadResult::WriteFailed);
        item.best = 0;
        item.noRestart = item.noRestart || askNoMore;
        return Broken(item, LineFault::OffsetIgnored);
    }

    // Opens the remote file at the item's offset and, on its first attempt, the local one.
    Attempt Open(ISourceSession& session, Item& item) {
        // The offered size (the statement's, where one names the file): a source that tells lengths
        // refuses a response of another size at once.
        session.ExpectSize(item.total);
        const Attempt positioned = Position(session, item);
        if (positioned != Attempt::Done) return positioned;
        switch (session.OpenFile(item.remotePath)) {
        case SourceOpen::Done: break;
        // Only a file refused from its first byte cannot be opened; a refused offset (HTTP 416, another
        // range) is no reason to give up.
        case SourceOpen::Refused:
            return item.resumed ? StartOver(item, false) : Fail(item, DownloadResult::RemoteFileUnopenable);
        case SourceOpen::LineFault: return Broken(item, LineFault::Reset);
        }
        if (!item.created) {
            if (!files_.Create(item.localPath)) return Fail(item, DownloadResult::LocalFileUnopenable);
            item.created = true;
        }
        return Attempt::Done;
    }

    Attempt Transfer(ISourceSession& session, Item& item) {
        const Attempt opened = Open(session, item);
        if (opened != Attempt::Done) return opened;
        Report(item, DownloadState::Transferring);

        LineWatch watch(request_.bounds);
        watch.Start(sink_.NowMs());
        // An empty file still takes one read, which ends it.
        bool first = true;
        while (item.overlap > 0 || item.done < item.total || (first && item.total == 0)) {
            first = false;
            if (sink_.StopRequested()) return Attempt::Stopped;
            // The overlap comes in reads of its own, so a block is either known bytes or new ones.
            const int request = item.overlap > 0
                                    ? std::min(kTransferBlockSize, item.overlap)
                                    : static_cast<int>(std::min<int64_t>(kTransferBlockSize, item.total - item.done));
            int got = 0;
            const Attempt read = ReadBlock(session, item, watch, request, got);
            if (read != Attempt::Done) return read;
            if (got > request) return Fail(item, DownloadResult::ReadFailed);
            if (item.overlap > 0) {
                // Other bytes than those on disk: not the offset asked for, or not the same file. The
                // data ending inside the overlap is a cut line (Wine reports one as the file's end):
                // nothing has been written, so the next attempt resumes again.
                if (got == 0 && request > 0) return Broken(item, LineFault::EndedEarly);
                const unsigned char* known = item.tail.data() + (item.tail.size() - static_cast<size_t>(item.overlap));
                if (std::memcmp(buffer_.data(), known, static_cast<size_t>(got)) != 0) return StartOver(item, true);
                item.overlap -= got;
                watch.Received(got, sink_.NowMs());
            } else {
                // The end before the listed size: a cut data connection, or a file shorter than
                // listed, which no attempt gets past.
                if (got == 0 && request > 0) return Broken(item, LineFault::EndedEarly);
                if (got > 0 && !files_.Write(buffer_.data(), got)) return Fail(item, DownloadResult::WriteFailed);
                if (got > 0) KeepTail(item, buffer_.data(), got);
                item.done += got;
                item.written += got;
                watch.Received(got, sink_.NowMs());
                Report(item, DownloadState::Transferring);
            }
            sink_.Sleep(kBlockPauseMs);
            if (item.overlap > 0 || item.done < item.total) {
                const LineVerdict verdict = watch.Verdict(sink_.NowMs());
                if (verdict == LineVerdict::Silent) return Broken(item, LineFault::Silent);
                if (verdict == LineVerdict::Slow) return Broken(item, LineFault::Slow);
            }
        }
        return item.resumed ? CheckResumedEnd(session, item, watch) : Attempt::Done;
    }

    Attempt ReadBlock(ISourceSession& session, Item& item, const LineWatch& watch, int request, int& got) {
        std::fill(buffer_.begin(), buffer_.end(), static_cast<unsigned char>(0));
        switch (session.Read(buffer_.data(), request, got, watch.ReadTimeoutMs(sink_.NowMs()))) {
        case SourceRead::Data: return Attempt::Done;
        case SourceRead::Reset: return Broken(item, LineFault::Reset);
        case SourceRead::Failed: return Broken(item, LineFault::ReadFailed);
        case SourceRead::TimedOut: return Broken(item, LineFault::Silent);
        case SourceRead::Stopped: return Attempt::Stopped;
        }
        return Broken(item, LineFault::ReadFailed);
    }

    // A resumed transfer must end exactly at the listed size: a byte beyond it means the server sent
    // the file from its start, and what this attempt wrote is not the file's.
    Attempt CheckResumedEnd(ISourceSession& session, Item& item, const LineWatch& watch) {
        int got = 0;
        const Attempt read = ReadBlock(session, item, watch, 1, got);
        if (read != Attempt::Done) return read;
        return got == 0 ? Attempt::Done : StartOver(item, true);
    }

    const DownloadRequest& request_;
    NextSource source_;  // the source in use: the request's until it is gone for good
    const NextSourceFinder& nextSource_;
    ILocalFiles& files_;
    IDownloadSink& sink_;
    std::vector<unsigned char> buffer_;
};

}  // namespace

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

float ProgressPercent(int64_t done, int64_t total) {
    const double exact = total > 0 ? static_cast<double>(done) / static_cast<double>(total) * 100.0 : 100.0;
    return static_cast<float>(exact);
}

DownloadResult DownloadUpdates(const DownloadRequest& request, const SourceSessionFactory& newSession,
                               ILocalFiles& files, IDownloadSink& sink, const NextSourceFinder& nextSource) {
    return Downloader(request, newSession, files, sink, nextSource).Run();
}
