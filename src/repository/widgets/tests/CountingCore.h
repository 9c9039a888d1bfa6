// A repository core that passes everything to the folder backend and records which folders were
// listed, so that tests can tell that the browser reads a folder only when it is opened.
#pragma once

#include "repository/ICore.h"

#include <QStringList>

#include <memory>

struct ListingLog {
    // "/"-joined names below the root of each listed folder, in order; "" for the root.
    QStringList listed;
    // When set, listing a folder of this path throws ArkonError with this text.
    QString failing_folder;
};

std::shared_ptr<arkon::ICore> MakeCountingCore(std::shared_ptr<ListingLog> log);
