// The downloads kept across the program's end: a private folder of the user's own, beside the log,
// holding the bytes of each file the maker's statement names and a record that binds them to it.
// The work folder is emptied by every check and cleared of anything a run did not write before the
// launch, so the bytes wait here and move into it once complete.
#pragma once

#include "framework/File.h"
#include "system/HeldFolder.h"
#include "update/engine/logic/KeptDownload.h"

#include <string>
#include <vector>

class CKeptDownloads {
public:
    explicit CKeptDownloads(std::vector<KeptOffer> offers) : m_offers(std::move(offers)) {}

    // Opens the folder, private and held (made when there is something to keep), and removes from it
    // whatever is not sound bytes of an offered file: another file's, a record that does not match
    // the offer or is too old, stray entries and links. False when nothing can be kept this run;
    // `verdict` says why when the folder itself was refused.
    bool Open(FolderVerdict& verdict);
    bool Offered() const { return !m_offers.empty(); }
    // The offer whose bytes go to `localPath` (the work folder's path of the file), or null.
    const KeptOffer* OfferFor(const std::wstring& localPath) const;

    // Opens the bytes an earlier run kept of the offer in `file`, at their first byte, and gives
    // their count; false (with nothing open) when there are none or they may not be used, which
    // also removes them.
    bool Resume(const KeptOffer& offer, CFile& file, int64_t& bytes);
    // Writes a new record and creates the empty bytes file in `file`.
    bool Begin(const KeptOffer& offer, CFile& file);
    // Moves the complete bytes (closed) to `name` in `to` in place of whatever stands there, and
    // drops the record.
    bool Deliver(const KeptOffer& offer, const CHeldFolder& to, const std::wstring& name);
    // Removes the offer's bytes and record.
    void Discard(const KeptOffer& offer);

private:
    static std::wstring BytesName(const KeptOffer& offer);
    static std::wstring RecordName(const KeptOffer& offer);
    // The record's verdict with the bytes on disk.
    KeptVerdict Judge(const KeptOffer& offer, int64_t& bytes) const;

    std::vector<KeptOffer> m_offers;
    CHeldFolder m_folder;
};

// The folder the kept downloads live in: the user's local application data, or empty.
std::wstring KeptDownloadsFolder();
