// The backup walk's two passes.
#include "BackupWalk.h"

#include "ChangedDocuments.h"
#include "LocalText.h"
#include "ReplacementFile.h"
#include "platform/AbandonedFile.h"
#include "repository/Error.h"
#include "repository/Utf8.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;

// A repository name used as one local file name. Names that would lead out of the destination folder
// (".", "..", anything with "/") are refused whatever the backend delivers.
std::optional<std::string> LocalName(const std::wstring& name) {
    const auto bytes = Utf8FromWide(name);
    if (!bytes || bytes->empty() || *bytes == "." || *bytes == ".." ||
        bytes->find('/') != std::string::npos || bytes->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return bytes;
}

QString Tr(const char* text) {
    return QCoreApplication::translate("TaskStorage", text);
}

QString Wide(const std::wstring& text) {
    return QString::fromStdWString(text);
}

// A temporary file that nobody marks in use was left by a backup that was killed, unless it was made
// so lately that its writer may not have marked it yet (which it does at once).
constexpr std::chrono::seconds kAbandonedAfter{2};

// A folder's copy keeps its owner's right to add and replace files, or the next backup could not
// write into it.
std::uint32_t FolderPermissions(std::uint32_t permissions) {
    return (permissions & 0777) | 0700;
}

} // namespace

QString BackupWalk::Shown(const fs::path& local) const {
    return QString::fromStdString(local.lexically_relative(destination_).generic_string());
}

// An entry of another kind in the place of a document or a folder is the user's: it is neither
// replaced nor followed, only named.
void BackupWalk::Blocked(const fs::path& local) {
    ++result_.skipped;
    result_.blocked.push_back(Shown(local).toStdWString());
}

void BackupWalk::Unreadable(const fs::path& local, const QString& reason) {
    ++result_.skipped;
    if (result_.unreadable.empty()) {
        result_.first_read_error =
            Tr("не удалось прочитать «%1»: %2").arg(Shown(local), reason).toStdWString();
    }
    result_.unreadable.push_back(Shown(local).toStdWString());
}

// The folder new entries go into, held open while they are made. New entries in a folder must reach the
// disk with the folder, so its file system is taken in before the first of them is made. Below the
// destination a link put in place of a folder since it was listed or made is not followed.
void BackupWalk::EnterFolder(std::size_t place) {
    if (place == entered_ && folder_.IsOpen()) {
        return;
    }
    std::error_code error;
    folder_ = platform::OpenFolder::Open(places_[place].native(), place == 0, error);
    if (!folder_.IsOpen() || !sync_.Watch(folder_, error)) {
        folder_ = {};
        throw DestinationError{Tr("не удалось открыть папку «%1»: %2")
                                   .arg(Shown(places_[place]), FromLocal8Bit(error.message()))};
    }
    entered_ = place;
    // A default access list decides the new files' permissions in the umask's place.
    folder_mask_ = folder_.HasDefaultAccessList() ? std::nullopt : creation_mask_;
}

fs::path BackupWalk::Local(const Step& step) const {
    return places_[step.place] / step.name;
}

BackupWalk::Present::Present(const fs::path& local, bool made) : local_(local) {
    if (made) {
        return;
    }
    std::error_code error;
    entries_ = platform::ReadDirectory(local_.native(), error);
    // A folder that cannot be listed (or is a link the user put in place of the destination) is asked
    // about one child at a time.
    listed_ = !error;
    // What a killed backup left here goes now; only files of our own name pattern, and only when
    // nobody is writing them.
    std::erase_if(entries_, [this](const platform::DirectoryEntry& entry) {
        std::error_code ignored;
        return entry.status.type == platform::EntryType::File &&
               ReplacementFile::IsTemporaryName(entry.name) &&
               platform::RemoveIfAbandoned((local_ / entry.name).native(), kAbandonedAfter, ignored);
    });
    std::sort(
        entries_.begin(), entries_.end(),
        [](const platform::DirectoryEntry& a, const platform::DirectoryEntry& b) { return a.name < b.name; });
}

std::optional<platform::EntryStatus> BackupWalk::Present::Of(const std::string& name) const {
    if (!listed_) {
        std::error_code ignored;
        return platform::EntryStatusOf((local_ / name).native(), ignored);
    }
    const auto found = std::lower_bound(
        entries_.begin(), entries_.end(), name,
        [](const platform::DirectoryEntry& entry, const std::string& n) { return entry.name < n; });
    if (found == entries_.end() || found->name != name) {
        return std::nullopt;
    }
    return found->status;
}

void BackupWalk::PlanFolder(const arkon::ItemPath& path, std::size_t place, const std::string& name,
                            const std::optional<platform::EntryStatus>& existing,
                            std::optional<std::uint32_t> permissions, std::deque<Folder>& pending) {
    fs::path local = places_[place] / name;
    if (existing && existing->type != platform::EntryType::Folder) {
        Blocked(local);
        return;
    }
    Step step;
    step.place = place;
    step.name = name;
    step.folder = true;
    step.permissions = permissions;
    step.exists = existing.has_value();
    step.present_permissions = existing ? existing->permissions : 0;
    steps_.push_back(std::move(step));
    places_.push_back(std::move(local));
    pending.push_back({path, places_.size() - 1, !existing});
}

void BackupWalk::PlanDocument(const arkon::ItemPath& document, const arkon::BrowserItemInfo& info,
                              std::size_t place, const std::string& name,
                              const std::optional<platform::EntryStatus>& existing) {
    if (existing && existing->type != platform::EntryType::File) {
        Blocked(places_[place] / name);
        return;
    }
    Step step;
    try {
        step.document = store_.OpenDocument(document, std::nullopt);
        if (!step.document->GetBlobs()->Next(step.blob)) {
            ++result_.skipped; // nothing to copy
            return;
        }
    } catch (const exceptions::Error& error) {
        CheckRepository();
        Unreadable(places_[place] / name, Wide(error.GetDescription()));
        return;
    }
    const auto time = MicrosecondsSince1970(info.modification_time);
    if (existing && time && existing->size == step.blob.size &&
        precision_.Carries(existing->modified_us, *time, places_[place])) {
        ++result_.unchanged;
        if (!info.permissions || *info.permissions == existing->permissions) {
            return;
        }
        // Only the mode is to change; the content is not written again.
        step.document.reset();
    }
    step.place = place;
    step.name = name;
    step.path = document;
    step.info = info;
    step.permissions = info.permissions;
    step.exists = existing.has_value();
    step.present_permissions = existing ? existing->permissions : 0;
    steps_.push_back(std::move(step));
}

bool BackupWalk::Plan(arkon::ItemPath source) {
    // Used as a stack: taken from the back, so the walk goes depth first.
    std::deque<Folder> pending;
    std::error_code missing;
    places_ = {destination_};
    pending.push_back({std::move(source), 0, !platform::TargetStatusOf(destination_.native(), missing)});
    bool top = true;
    while (!pending.empty()) {
        Folder folder = std::move(pending.back());
        pending.pop_back();
        std::unique_ptr<arkon::ItemEnumerator> children;
        try {
            children = store_.ListFolder(folder.path);
        } catch (const exceptions::Error& error) {
            // A sub-folder that cannot be read is left out as a document is; the source itself is not.
            if (top) {
                throw;
            }
            CheckRepository();
            Unreadable(places_[folder.place], Wide(error.GetDescription()));
            continue;
        }
        top = false;
        const Present present(places_[folder.place], folder.made);
        arkon::BrowserItemInfo child;
        while (children->Next(child)) {
            if (stop_.stop_requested()) {
                return false;
            }
            const auto name = LocalName(child.name);
            if (!name) {
                continue;
            }
            arkon::ItemPath child_path = folder.path;
            child_path.push_back(child.id);
            if (child.IsFolder()) {
                PlanFolder(child_path, folder.place, *name, present.Of(*name), child.permissions, pending);
            } else {
                PlanDocument(child_path, child, folder.place, *name, present.Of(*name));
            }
        }
    }
    return true;
}

std::uint64_t BackupWalk::Needed(std::uint64_t block) const {
    std::uint64_t needed = 0;
    for (const Step& step : steps_) {
        if (step.folder ? !step.exists : step.document != nullptr) {
            const std::uint64_t size = step.folder ? 0 : step.blob.size;
            needed += (size + block - 1) / block * block + (step.folder ? block : 0);
        }
    }
    return needed;
}

void BackupWalk::MakeFolder(const Step& step) {
    std::error_code error;
    const fs::path local = Local(step);
    if (!step.exists) {
        EnterFolder(step.place);
        fs::create_directory(local, error);
        if (error) {
            throw DestinationError{
                Tr("не удалось создать папку «%1»: %2").arg(Shown(local), FromLocal8Bit(error.message()))};
        }
    }
    // Made with the umask's mode, which may be wider than the source's.
    if (step.permissions &&
        (!step.exists || step.present_permissions != FolderPermissions(*step.permissions))) {
        fs::permissions(local, static_cast<fs::perms>(FolderPermissions(*step.permissions)),
                        fs::perm_options::replace, error);
        if (error) {
            throw DestinationError{Tr("не удалось задать права папки «%1»: %2")
                                       .arg(Shown(local), FromLocal8Bit(error.message()))};
        }
    }
}

// A document that is a local file is copied by the file systems, which spares reading it into the
// program and writing it out again, and lets a file system that can share its blocks share them. It goes
// in slices, so that a stop is heard between them. Where the file systems cannot copy between these
// files (another file system, one without the call), nothing is lost: the chunk reading goes on from
// wherever this stopped, and meets whatever real failure there is in its own way.
bool BackupWalk::CopyLocal(arkon::LocalBlob& local, ReplacementFile& file, std::uint64_t& written) {
    constexpr std::uint64_t kSlice = std::uint64_t{8} << 20;
    while (local.Offset() < local.End()) {
        if (stop_.stop_requested()) {
            return false;
        }
        const std::uint64_t wanted = std::min(kSlice, local.End() - local.Offset());
        const std::uint64_t copied = file.CopyFrom(local.File(), local.Offset(), wanted);
        local.Advance(copied);
        written += copied;
        if (copied < wanted) {
            break;
        }
    }
    return true;
}

bool BackupWalk::CopyDocument(Step& step) {
    std::error_code error;
    if (!step.document) {
        fs::permissions(Local(step), static_cast<fs::perms>(*step.permissions & 0777),
                        fs::perm_options::replace, error);
        if (error) {
            throw DestinationError{Tr("не удалось задать права «%1»: %2")
                                       .arg(Shown(Local(step)), FromLocal8Bit(error.message()))};
        }
        return true;
    }
    EnterFolder(step.place);
    const auto permissions =
        step.permissions ? std::optional<std::uint32_t>(*step.permissions & 0777) : std::nullopt;
    ReplacementFile file(folder_, step.name, !step.exists, permissions, folder_mask_);
    const auto refused = [&](const ReplacementFile& f) {
        ++result_.failed;
        return DestinationError{
            Tr("не удалось записать «%1»: %2").arg(Shown(Local(step)), FromLocal8Bit(f.Error().message()))};
    };
    if (!file.IsOpen()) {
        throw refused(file);
    }
    std::unique_ptr<arkon::BlobReader> reader;
    try {
        try {
            reader = step.document->OpenBlob(step.blob.id);
        } catch (const exceptions::Error&) {
            // Changed since the first pass looked at it, perhaps: looked at once more, its time too, or
            // the copy would carry the new content with the old time.
            step.info = store_.GetItemInfo(step.path);
            step.document = store_.OpenDocument(step.path, std::nullopt);
            if (!step.document->GetBlobs()->Next(step.blob)) {
                ++result_.skipped;
                return true;
            }
            reader = step.document->OpenBlob(step.blob.id);
        }
        std::uint64_t written = 0;
        if (auto* local = dynamic_cast<arkon::LocalBlob*>(reader.get())) {
            if (!CopyLocal(*local, file, written)) {
                return false;
            }
        }
        // The rest, and the reader's check that the document did not change while it was read.
        for (;;) {
            if (stop_.stop_requested()) {
                return false;
            }
            const arkon::BlobChunk chunk = reader->ReadChunk();
            if (chunk.size == 0) {
                break;
            }
            if (!file.Write(chunk.data, chunk.size)) {
                throw refused(file);
            }
            written += chunk.size;
        }
        const auto time = MicrosecondsSince1970(step.info.modification_time);
        if (time && !file.SetModified(*time)) {
            throw refused(file);
        }
        if (!file.Commit(sync_)) {
            // A folder put in the document's place while it was copied is the user's, as one found there.
            if (file.Error() == std::errc::is_a_directory) {
                Blocked(Local(step));
                return true;
            }
            throw refused(file);
        }
        ++result_.copied;
        result_.copied_bytes += written;
    } catch (const exceptions::Error& error) {
        CheckRepository();
        Unreadable(Local(step), Wide(error.GetDescription()));
    }
    return true;
}

bool BackupWalk::Copy() {
    for (Step& step : steps_) {
        if (stop_.stop_requested()) {
            return false;
        }
        if (step.folder) {
            MakeFolder(step);
        } else if (!CopyDocument(step)) {
            return false;
        }
        step.document.reset(); // done with: another backend may hold the document open
    }
    return true;
}
