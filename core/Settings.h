#pragma once
// The persisted configuration: one process-wide record, loaded once at start-up
// before anything else runs and saved once when the main window is destroyed.
// Stored with QSettings (organisation and application "Zorvendal").
//
// Threading: written on the user-interface thread (load, options panel, dialogs).
// The number fields are atomics because the audio thread reads some of them while
// it renders (MasterTempo, LongMix, Crossfader, ...); relaxed order is enough, each
// value stands alone and a value one turn old is acceptable.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QSettings;

// One mounted volume, as the default "CD Drive" rule sees it.
struct Volume {
    enum Kind { Fixed, Removable, CdRom };
    QString root; // mount point
    Kind kind = Fixed;
};

class Settings {
public:
    static constexpr int kColumnCount = 28;
    static constexpr int kColumnBytes = kColumnCount * 4;
    static constexpr int kTextLimit = 512; // bytes, terminator included
    static constexpr const char* kVersion = "1.12";

    Settings();

    // Sets every default, then reads the stored values. volumes() lists the mounted
    // volumes for the "CD Drive" default and check. Values of the wrong kind or size
    // are ignored and keep their defaults.
    void load();
    // Writes every value. Returns false when the store could not be written (the
    // values are then lost, which callers accept: write errors are not reported).
    bool save() const;

    // Where load() and save() go; by default the user's QSettings of "Zorvendal".
    // Tests point it at a file of their own.
    void setStorageFile(const QString& iniPath) { storageFile_ = iniPath; }
    // The mounted volumes; tests inject any list.
    std::function<std::vector<Volume>()> volumes;

    QString homeFolder;
    QString cdDrive;
    QByteArray initialFolder; // UTF-8 path with its 2-byte terminator; empty = none
    QString skin;             // empty = the built-in skin
    std::atomic<int32_t> outputMode{0};
    std::optional<QByteArray> soundCardGuid; // 16 bytes each when present
    std::optional<QByteArray> soundCard1Guid;
    std::optional<QByteArray> soundCard2Guid;
    std::array<int32_t, kColumnCount> columnSizes{};
    std::atomic<int32_t> toolTip{1};
    std::atomic<int32_t> babySecure{1};
    std::atomic<int32_t> maximized{1};
    std::atomic<int32_t> crossfader{0};
    std::atomic<int32_t> multiInstance{0};
    std::atomic<int32_t> autoBpm{1};
    std::atomic<int32_t> autoLevel{0};
    std::atomic<int32_t> autoZPitch{0};
    std::atomic<int32_t> longMix{0};
    std::atomic<int32_t> masterTempo{1};
    std::atomic<int32_t> limitPitch{0};
    // 1: speed changes take whole input frames and Master Tempo splices where a coarse
    // search lands, as the first versions did; kept so that users can compare.
    std::atomic<int32_t> classicResampling{0};

    // The pitch range in 1/4096 derived from limitPitch.
    int32_t pitchMin() const { return limitPitch.load(std::memory_order_relaxed) ? 3768 : 2730; }
    int32_t pitchMax() const { return limitPitch.load(std::memory_order_relaxed) ? 4424 : 5462; }

    // The mounted volumes of real file systems, in the system's mount order.
    static std::vector<Volume> mountedVolumes();
    // The kind of a volume from its device and file-system type; sysRoot is where
    // sysfs is mounted (tests pass a tree of their own).
    static Volume::Kind volumeKind(const QString& device, const QString& fileSystemType,
                                   const QString& sysRoot = QStringLiteral("/sys"));
    // The first CD-ROM volume, else the last removable one, else the first volume.
    static QString defaultCdDrive(const std::vector<Volume>& volumes);
    static std::array<int32_t, kColumnCount> defaultColumnSizes();
    // The per-user data folder of the program (~/.local/share/Zorvendal).
    static QString defaultHomeFolder();

private:
    void setDefaults(const std::vector<Volume>& mounted);
    void read(QSettings& store, const std::vector<Volume>& mounted);
    void repairColumnSizes();

    QString storageFile_;
};

// The process-wide settings.
Settings& settings();
