// The counting core: the hooked core with a hook that records each listed folder.
#include "CountingCore.h"

#include "HookedCore.h"
#include "repository/ArkonError.h"

std::shared_ptr<arkon::ICore> MakeCountingCore(std::shared_ptr<ListingLog> log) {
    auto hooks = std::make_shared<StoreHooks>();
    hooks->before_list = [log](const std::vector<std::wstring>& names) {
        QStringList joined;
        for (const std::wstring& name : names) {
            joined.append(QString::fromStdWString(name));
        }
        const QString path = joined.join(QLatin1Char('/'));
        log->listed.append(path);
        if (!log->failing_folder.isNull() && path == log->failing_folder) {
            throw arkon::ArkonError(L"Папка недоступна.");
        }
    };
    return MakeHookedCore(arkon::CreateCore(), std::move(hooks));
}
