// The counting core and its store.
#include "CountingCore.h"

#include "repository/ArkonError.h"

namespace {

class CountingStore final : public arkon::ItemStore {
public:
    CountingStore(std::shared_ptr<arkon::ItemStore> inner, std::shared_ptr<ListingLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}

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
        QStringList names;
        for (const std::wstring& name : inner_->GetPathNames(path)) {
            names.append(QString::fromStdWString(name));
        }
        const QString joined = names.join(QLatin1Char('/'));
        log_->listed.append(joined);
        if (!log_->failing_folder.isNull() && joined == log_->failing_folder) {
            throw arkon::ArkonError(L"Папка недоступна.");
        }
        return inner_->ListFolder(path);
    }
    std::unique_ptr<arkon::RepositoryDocument>
    OpenDocument(const arkon::ItemPath& path, const std::optional<std::uint64_t>& version) override {
        return inner_->OpenDocument(path, version);
    }

private:
    std::shared_ptr<arkon::ItemStore> inner_;
    std::shared_ptr<ListingLog> log_;
};

class CountingSession final : public arkon::ISession {
public:
    CountingSession(std::shared_ptr<arkon::ISession> inner, std::shared_ptr<ListingLog> log)
        : store_(std::make_shared<CountingStore>(inner->GetItemStore(), std::move(log))),
          inner_(std::move(inner)) {}
    std::shared_ptr<arkon::ItemStore> GetItemStore() override { return store_; }

private:
    std::shared_ptr<arkon::ItemStore> store_;
    std::shared_ptr<arkon::ISession> inner_;
};

class CountingCore final : public arkon::ICore {
public:
    explicit CountingCore(std::shared_ptr<ListingLog> log)
        : inner_(arkon::CreateCore()), log_(std::move(log)) {}
    std::shared_ptr<arkon::ISession> OpenSession(const std::wstring& server,
                                                 const std::wstring& database) override {
        return std::make_shared<CountingSession>(inner_->OpenSession(server, database), log_);
    }

private:
    std::shared_ptr<arkon::ICore> inner_;
    std::shared_ptr<ListingLog> log_;
};

} // namespace

std::shared_ptr<arkon::ICore> MakeCountingCore(std::shared_ptr<ListingLog> log) {
    return std::make_shared<CountingCore>(std::move(log));
}
