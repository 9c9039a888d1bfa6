// Where the suite's command-line tool lives: worked out once per process from the executable's
// config.ini or the suite's machine-wide installation settings.
#pragma once

#include <QString>

#include <functional>
#include <string>

// The tool is whatever executable carries this name in the tool folder.
inline constexpr wchar_t kCliFileName[] = L"ZelkorCLI.exe";

// The folder and the name joined as a file-system path: a separator goes between them unless the folder
// is empty (then the name stands alone) or already ends in one.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// The installation root from the suite's machine-wide settings ("Paths/Zelkor-III"); empty when unset.
QString ReadInstallRoot();

// The tool folder: the "Paths/Zelkor-III" value of config.ini in the executable's folder, taken as it
// stands; failing that, the "BIN" sub-folder of the installation root, which is read only then; failing
// both, empty.
std::wstring FindBinDirectory(const QString& executableFolder,
                              const std::function<QString()>& readInstallRoot);

// The tool folder of this process, computed on the first call (from any thread) and kept unchanged
// until the program ends, so that an edited config.ini takes effect at the next start.
std::wstring GetBinDirectory();

// The tool's full path, or the bare tool name when no folder is known.
std::wstring GetCliPath();
