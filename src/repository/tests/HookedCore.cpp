// The hooked core and its hooked store, document and reader.
#include "HookedCore.h"

namespace {

class HookedReader final : public arkon::BlobReader {
public:
    HookedReader(std::unique_ptr<arkon::BlobReader> inner, std::shared_ptr<StoreHooks> hooks,
                 std::wstring name)
        : inner_(std::move(inner)), hooks_(std::move(hooks)), name_(std::move(name)) {}

    arkon::BlobChunk ReadChunk() override {
        const arkon::BlobChunk chunk = inner_->ReadChunk();
        if (chunk.size > 0 && hooks_->after_chunk) {
            hooks_->after_chunk(name_, ++chunks_);
        }
        return chunk;
    }

private:
    std::unique_ptr<arkon::BlobReader> inner_;
    std::shared_ptr<StoreHooks> hooks_;
    std::wstring name_;
    int chunks_ = 0;
};

class HookedDocument final : public arkon::RepositoryDocument {
public:
    HookedDocument(std::unique_ptr<arkon::RepositoryDocument> inner, std::shared_ptr<StoreHooks> hooks,
                   std::wstring name)
        : inner_(std::move(inner)), hooks_(std::move(hooks)), name_(std::move(name)) {}

    std::unique_ptr<arkon::BlobEnumerator> GetBlobs() override {
        if (hooks_->without_blobs && hooks_->without_blobs(name_)) {
            return std::make_unique<arkon::VectorEnumerator<arkon::BlobInfo>>(std::vector<arkon::BlobInfo>{});
        }
        return inner_->GetBlobs();
    }

    std::unique_ptr<arkon::BlobReader> OpenBlob(std::uint64_t blob_id) override {
        return std::make_unique<HookedReader>(inner_->OpenBlob(blob_id), hooks_, name_);
    }

private:
    std::unique_ptr<arkon::RepositoryDocument> inner_;
    std::shared_ptr<StoreHooks> hooks_;
    std::wstring name_;
};

class HookedStore final : public arkon::ItemStore {
public:
    HookedStore(std::shared_ptr<arkon::ItemStore> inner, std::shared_ptr<StoreHooks> hooks)
        : inner_(std::move(inner)), hooks_(std::move(hooks)) {}

    arkon::ItemPath ResolvePath(const std::vector<std::wstring>& names) override {
        return inner_->ResolvePath(names);
    }
    std::vector<std::wstring> GetPathNames(const arkon::ItemPath& path) override {
        return inner_->GetPathNames(path);
    }
    arkon::BrowserItemInfo GetItemInfo(const arkon::ItemPath& path) override {
        return inner_->GetItemInfo(path);
    }
    std::unique_ptr<arkon::ItemEnumerator> ListFolder(const arkon::ItemPath& path) override {
        if (hooks_->before_list) {
            hooks_->before_list(inner_->GetPathNames(path));
        }
        auto listed = inner_->ListFolder(path);
        if (!hooks_->listed_name) {
            return listed;
        }
        std::vector<arkon::BrowserItemInfo> items;
        arkon::BrowserItemInfo item;
        while (listed->Next(item)) {
            item.name = hooks_->listed_name(item.name);
            items.push_back(item);
        }
        return std::make_unique<arkon::VectorEnumerator<arkon::BrowserItemInfo>>(std::move(items));
    }
    std::unique_ptr<arkon::RepositoryDocument>
    OpenDocument(const arkon::ItemPath& path, const std::optional<std::uint64_t>& version) override {
        const std::vector<std::wstring> names = inner_->GetPathNames(path);
        std::wstring name = names.empty() ? std::wstring() : names.back();
        if (hooks_->listed_name) {
            name = hooks_->listed_name(name);
        }
        if (hooks_->before_open) {
            hooks_->before_open(name);
        }
        return std::make_unique<HookedDocument>(inner_->OpenDocument(path, version), hooks_, name);
    }

private:
    std::shared_ptr<arkon::ItemStore> inner_;
    std::shared_ptr<StoreHooks> hooks_;
};

class HookedSession final : public arkon::ISession {
public:
    HookedSession(std::shared_ptr<arkon::ISession> inner, std::shared_ptr<StoreHooks> hooks)
        : store_(std::make_shared<HookedStore>(inner->GetItemStore(), std::move(hooks))),
          inner_(std::move(inner)) {}
    std::shared_ptr<arkon::ItemStore> GetItemStore() override { return store_; }

private:
    std::shared_ptr<arkon::ItemStore> store_;
    std::shared_ptr<arkon::ISession> inner_;
};

class HookedCore final : public arkon::ICore {
public:
    HookedCore(std::shared_ptr<arkon::ICore> inner, std::shared_ptr<StoreHooks> hooks)
        : inner_(std::move(inner)), hooks_(std::move(hooks)) {}
    std::shared_ptr<arkon::ISession> OpenSession(const std::wstring& server,
                                                 const std::wstring& database) override {
        return std::make_shared<HookedSession>(inner_->OpenSession(server, database), hooks_);
    }

private:
    std::shared_ptr<arkon::ICore> inner_;
    std::shared_ptr<StoreHooks> hooks_;
};

} // namespace

std::shared_ptr<arkon::ICore> MakeHookedCore(std::shared_ptr<arkon::ICore> inner,
                                             std::shared_ptr<StoreHooks> hooks) {
    return std::make_shared<HookedCore>(std::move(inner), std::move(hooks));
}
