#include "markers/LslLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>

#ifdef Q_OS_WIN
#include <QLibrary>
#else
#include <dlfcn.h>
#endif

namespace {

// The symbols of a loaded library, by name; nullptr for one it lacks.
using Symbols = std::function<QFunctionPointer(const char*)>;

// Loads file, which stays loaded until the program ends: liblsl's threads and static objects
// outlive any one outlet, and unloading a library whose initialisers ran is not safe in
// general. Returns nothing, with the loader's reason in *why, when it cannot.
Symbols loadShared(const QString& file, QString* why) {
#ifdef Q_OS_WIN
    // Given a full path, QLibrary loads that file; its destructor does not unload it.
    auto library = std::make_shared<QLibrary>(file);
    if (!library->load()) {
        *why = library->errorString();
        return {};
    }
    return [library](const char* name) { return library->resolve(name); };
#else
    // dlopen takes a path as it is and searches for a bare name as the system does
    // (LD_LIBRARY_PATH, then ldconfig's folders), and tries no other spellings.
    void* handle = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        *why = QString::fromLocal8Bit(dlerror());
        return {};
    }
    return [handle](const char* name) {
        return reinterpret_cast<QFunctionPointer>(dlsym(handle, name));
    };
#endif
}

const char* const Releases = "https://github.com/sccn/liblsl/releases";

// Resolves name into function, or notes it as missing.
template <typename Function>
void resolve(const Symbols& symbols, const char* name, Function& function, QStringList& missing) {
    function = reinterpret_cast<Function>(symbols(name));
    if (function == nullptr) {
        missing << QString::fromLatin1(name);
    }
}

#ifdef Q_OS_WIN
const char* const SystemSearch = "in the system's library folders";
const char* const WhereToGet =
    "Get liblsl 1.14 or later from %1 and put lsl.dll beside the program.";
#else
const char* const SystemSearch = "in the system's library folders and LD_LIBRARY_PATH";
const char* const WhereToGet =
    "Debian has no package of it: get liblsl 1.14 or later from %1 and put liblsl.so.2 in "
    "/usr/local/lib (then run sudo ldconfig) or in a folder named in LD_LIBRARY_PATH.";
#endif

// The user's text when no candidate loaded: what was looked for and where, where to get it,
// then each loader's own reason.
QString notFoundText(const QStringList& candidates, const QStringList& reasons) {
    QStringList bare;
    QStringList paths;
    for (const QString& candidate : candidates) {
        (QFileInfo(candidate).isAbsolute() ? paths : bare) << QDir::toNativeSeparators(candidate);
    }
    QStringList places;
    if (!bare.isEmpty()) {
        places << bare.join(QStringLiteral(", ")) + u' ' + QLatin1String(SystemSearch);
    }
    if (!paths.isEmpty()) {
        places << paths.join(QStringLiteral(", "));
    }
    return QStringLiteral(
               "Lab Streaming Layer markers need liblsl, and none could be loaded (looked for "
               "%1). %2\nThe loader said: %3")
        .arg(places.join(QStringLiteral("; ")),
             QString::fromLatin1(WhereToGet).arg(QLatin1String(Releases)),
             reasons.join(QStringLiteral("; ")));
}

}  // namespace

QStringList LslLibrary::defaultCandidates() {
#if defined(Q_OS_WIN)
    // Only the program's own folder: a DLL of this name elsewhere on the search path is no
    // one's choice.
    const QString folder = QCoreApplication::instance() != nullptr
                               ? QCoreApplication::applicationDirPath()
                               : QDir::currentPath();
    return {folder + QStringLiteral("/lsl.dll")};
#elif defined(Q_OS_MACOS)
    return {QStringLiteral("liblsl.2.dylib"), QStringLiteral("liblsl.dylib")};
#else
    return {QStringLiteral("liblsl.so.2"), QStringLiteral("liblsl.so"),
            QStringLiteral("liblsl64.so")};
#endif
}

std::shared_ptr<const LslLibrary> LslLibrary::load(QString* error, const QStringList& candidates) {
    QStringList reasons;
    for (const QString& candidate : candidates) {
        std::shared_ptr<LslLibrary> library(new LslLibrary);
        QString why;
        if (library->open(candidate, &why)) {
            return library;
        }
        reasons << why;
    }
    if (error != nullptr) {
        *error = notFoundText(candidates, reasons);
    }
    return nullptr;
}

bool LslLibrary::open(const QString& file, QString* why) {
    const Symbols symbols = loadShared(file, why);
    if (!symbols) {
        return false;
    }
    m_fileName = file;
    QStringList missing;
    resolve(symbols, "lsl_library_version", m_api.libraryVersion, missing);
    resolve(symbols, "lsl_local_clock", m_api.localClock, missing);
    resolve(symbols, "lsl_create_streaminfo", m_api.createStreamInfo, missing);
    resolve(symbols, "lsl_destroy_streaminfo", m_api.destroyStreamInfo, missing);
    resolve(symbols, "lsl_get_desc", m_api.getDesc, missing);
    resolve(symbols, "lsl_append_child_value", m_api.appendChildValue, missing);
    resolve(symbols, "lsl_create_outlet", m_api.createOutlet, missing);
    resolve(symbols, "lsl_destroy_outlet", m_api.destroyOutlet, missing);
    resolve(symbols, "lsl_push_sample_strtp", m_api.pushSampleStrtp, missing);
    resolve(symbols, "lsl_have_consumers", m_api.haveConsumers, missing);
    QStringList optional;
    resolve(symbols, "lsl_last_error", m_api.lastError, optional);
    if (!missing.isEmpty()) {
        // Not liblsl, or one too old.
        *why = QStringLiteral("%1 lacks %2").arg(file, missing.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

QString LslLibrary::versionText() const {
    const int version = m_api.libraryVersion();
    return QStringLiteral("%1.%2").arg(version / 100).arg(version % 100);
}

QString LslLibrary::lastError() const {
    return m_api.lastError != nullptr ? QString::fromUtf8(m_api.lastError()) : QString();
}
