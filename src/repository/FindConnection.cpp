// Connection look-up for the engine's runs.
#include "FindConnection.h"

#include "Config.h"
#include "ConnectionsModel.h"
#include "Error.h"

#include <QStandardPaths>

#include <iostream>

QString ConnectionsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Zelkor-Vostal/ZelkorIII_2013/ConnectionsConfig.xml");
}

std::optional<arkon_cm::Connection> FindConnection(const boost::uuids::uuid& id,
                                                   const QString& connections_file) {
    try {
        const arkon_cfg::Config config(connections_file);
        arkon_cm::ConnectionsModel model;
        model.Init(config.GetConfigSubtree(kConnectionsSubtree));
        if (const arkon_cm::Connection* found = model.FindConnectionByID(id)) {
            return *found;
        }
    } catch (const exceptions::Error& error) {
        std::cerr << QString::fromStdWString(error.GetDescription()).toLocal8Bit().constData() << '\n';
    }
    return std::nullopt;
}
