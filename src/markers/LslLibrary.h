#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

// liblsl's handle types, under the names its C header gives them, so that these declarations
// and the header's agree where both are seen (the tests check the signatures against it).
struct lsl_streaminfo_struct_;
struct lsl_outlet_struct_;
struct lsl_xml_ptr_struct_;

// liblsl (Lab Streaming Layer), loaded at run time: Debian has no package of it, so Orlesse
// neither builds against it nor needs it, and uses it where a user has installed it. Only the
// few C functions below are used, declared here by hand with the signatures of liblsl's C
// header. The library stays loaded until the program ends, as liblsl's threads expect.
class LslLibrary {
  public:
    using StreamInfo = lsl_streaminfo_struct_*;
    using Outlet = lsl_outlet_struct_*;
    using Xml = lsl_xml_ptr_struct_*;

    // liblsl's functions (lsl/common.h, streaminfo.h, xml.h, outlet.h).
    struct Api {
        int32_t (*libraryVersion)() = nullptr;  // lsl_library_version: 116 for 1.16
        double (*localClock)() = nullptr;       // lsl_local_clock: seconds of its steady clock
        // lsl_create_streaminfo; the format is lsl_channel_format_t, a 4-byte enum in its ABI.
        StreamInfo (*createStreamInfo)(const char* name, const char* type, int32_t channelCount,
                                       double nominalRate, int32_t channelFormat,
                                       const char* sourceId) = nullptr;
        void (*destroyStreamInfo)(StreamInfo info) = nullptr;
        Xml (*getDesc)(StreamInfo info) = nullptr;  // lsl_get_desc
        Xml (*appendChildValue)(Xml parent, const char* name, const char* value) = nullptr;
        // lsl_create_outlet; it copies the stream info, which may be destroyed afterwards.
        Outlet (*createOutlet)(StreamInfo info, int32_t chunkSize, int32_t maxBuffered) = nullptr;
        void (*destroyOutlet)(Outlet outlet) = nullptr;
        // lsl_push_sample_strtp: one sample of UTF-8 strings at an LSL time; 0 is success.
        int32_t (*pushSampleStrtp)(Outlet outlet, const char** data, double timestamp,
                                   int32_t pushthrough) = nullptr;
        // lsl_have_consumers: whether an inlet is connected to the outlet now (1) or not (0).
        int32_t (*haveConsumers)(Outlet outlet) = nullptr;
        // lsl_last_error, from liblsl 1.15 on; nullptr in older ones.
        const char* (*lastError)() = nullptr;
    };

    static constexpr int32_t StringFormat = 3;  // cft_string
    static constexpr double IrregularRate = 0.0;

    // The files load() tries, in order. Linux: liblsl.so.2, liblsl.so and liblsl64.so (the name
    // before 1.14) through the system's library search, so LD_LIBRARY_PATH and the folders of
    // ldconfig count. Windows: lsl.dll in the program's folder, and only there.
    static QStringList defaultCandidates();

    // Loads the first candidate that loads and has every function. When none does, returns
    // nullptr and puts a text for the user in *error: what was looked for, where, and where to
    // get liblsl.
    static std::shared_ptr<const LslLibrary> load(
        QString* error, const QStringList& candidates = defaultCandidates());

    LslLibrary(const LslLibrary&) = delete;
    LslLibrary& operator=(const LslLibrary&) = delete;

    const Api& api() const { return m_api; }
    // The candidate the library was loaded as.
    QString fileName() const { return m_fileName; }
    // liblsl's version as "1.16".
    QString versionText() const;
    // liblsl's description of the last failure on this thread, or "" when it has none.
    QString lastError() const;

  private:
    LslLibrary() = default;
    // Loads file and resolves every function; on failure says why in *why.
    bool open(const QString& file, QString* why);

    QString m_fileName;
    Api m_api;
};
