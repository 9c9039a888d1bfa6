// The sample repository.
#include "SampleRepository.h"

#include <stdexcept>

SampleRepository::SampleRepository() {
    tree.Write(Relative("Архив/2025/план.dwg"), "plan");
    tree.Write(Relative("Проекты/Дом/фасад.DWG"), "facade");
    tree.Write(Relative("Проекты/Дом/схема.dxf"), "scheme");
    tree.Write(Relative("Проекты/Дом/readme"), "readme");
    tree.MakeFolder(Relative("Проекты/Мост"));
    tree.Write(Relative("заметки.txt"), "notes");
    session = MakeCountingCore(log)->OpenSession(tree.WidePath("repo"), L"");
    store = session->GetItemStore();
}

arkon::ItemPath SampleRepository::Ids(const QStringList& names) const {
    std::vector<std::wstring> wide;
    for (const QString& name : names) {
        wide.push_back(name.toStdWString());
    }
    arkon::ItemPath path = store->ResolvePath(wide);
    if (path.size() != wide.size()) {
        throw std::runtime_error("no such item: " + names.join(QLatin1Char('/')).toStdString());
    }
    return path;
}
