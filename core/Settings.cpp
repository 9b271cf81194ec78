#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QVariant>
#include <QtEndian>

#include <memory>

namespace {

constexpr const char* kOrganisation = "Zorvendal";
constexpr const char* kApplication = "Zorvendal";
constexpr int kGuidBytes = 16;
constexpr int32_t kMinBandWidth = 16;   // pixels; narrower bands cannot be grabbed again
constexpr int32_t kRepairedColumn = 16; // pixels; a group of all-zero columns shows nothing

// Value names, the program's own words.
const QLatin1String kHomeFolder("Home folder");
const QLatin1String kCdDrive("CD Drive");
const QLatin1String kInitialFolder("Initial folder");
const QLatin1String kVersionName("Version");
const QLatin1String kSkin("Skin");
const QLatin1String kOutputMode("Output mode");
const QLatin1String kSoundCardGuid("Sound card GUID");
const QLatin1String kSoundCard1Guid("Sound card 1 GUID");
const QLatin1String kSoundCard2Guid("Sound card 2 GUID");
const QLatin1String kColumnSizes("Column Sizes");
const QLatin1String kToolTip("ToolTip");
const QLatin1String kBabySecureRead("Baby secure");
const QLatin1String kBabySecureWrite("Baby Secure");
const QLatin1String kMaximized("Maximized");
const QLatin1String kCrossfader("Crossfader");
const QLatin1String kMultiInstance("MultiInstance");
const QLatin1String kAutoBpm("AutoBpm");
const QLatin1String kAutoLevel("AutoLevel");
const QLatin1String kAutoZPitch("AutoZPitch");
const QLatin1String kLongMix("LongMix");
const QLatin1String kMasterTempo("MasterTempo");
const QLatin1String kLimitPitch("LimitPitch");
const QLatin1String kClassicResampling("ClassicResampling");

std::unique_ptr<QSettings> openStore(const QString& file) {
    std::unique_ptr<QSettings> store;
    if (file.isEmpty()) {
        store =
            std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                        QLatin1String(kOrganisation), QLatin1String(kApplication));
    } else {
        store = std::make_unique<QSettings>(file, QSettings::IniFormat);
    }
    // One store, as the registry key was: no system-wide file shows through, so a
    // value that is removed is really gone.
    store->setFallbacksEnabled(false);
    return store;
}

// Reads values the way the registry readers did: a destination changes only when the
// stored value has exactly the expected kind and size. INI keys are case-sensitive
// while registry names are not, so a name is found whatever its case; the exact
// spelling wins when several are stored.
class ValueReader {
public:
    explicit ValueReader(const QSettings& store) : store_(store), keys_(store.childKeys()) {}

    QVariant find(QLatin1String name) const {
        if (keys_.contains(name))
            return store_.value(name);
        for (const QString& key : keys_) {
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return store_.value(key);
        }
        return {};
    }

    // The INI file keeps a number as decimal text, which must parse whole as a
    // signed 32-bit value; a value written earlier in this run is still an int in
    // QSettings' shared cache. Byte arrays, lists and other kinds are refused.
    void readNumber(QLatin1String name, std::atomic<int32_t>& destination) const {
        const QVariant value = find(name);
        bool ok = false;
        int number = 0;
        if (value.typeId() == QMetaType::QString)
            number = value.toString().toInt(&ok, 10);
        else if (value.typeId() == QMetaType::Int)
            number = value.toInt(&ok);
        if (ok)
            destination.store(number, std::memory_order_relaxed);
    }

    // Text of at most kTextLimit bytes as UTF-8, terminator included. A value that the
    // INI reader split at commas (an unquoted list) is not text.
    bool readText(QLatin1String name, QString& destination) const {
        const QVariant value = find(name);
        if (value.typeId() != QMetaType::QString)
            return false;
        const QString text = value.toString();
        if (text.toUtf8().size() + 1 > Settings::kTextLimit)
            return false;
        destination = text;
        return true;
    }

    // Raw bytes; size < 0 accepts any size.
    bool readBinary(QLatin1String name, qsizetype size, QByteArray& destination) const {
        const QVariant value = find(name);
        if (value.typeId() != QMetaType::QByteArray)
            return false;
        const QByteArray bytes = value.toByteArray();
        if (size >= 0 && bytes.size() != size)
            return false;
        destination = bytes;
        return true;
    }

    void readGuid(QLatin1String name, std::optional<QByteArray>& destination) const {
        QByteArray bytes;
        if (readBinary(name, kGuidBytes, bytes))
            destination = bytes;
    }

private:
    const QSettings& store_;
    const QStringList keys_;
};

// Writes one value under one spelling: other-case spellings of the name are removed
// first, so the next read cannot find a stale one.
void removeOtherSpellings(QSettings& store, QLatin1String name) {
    const QStringList keys = store.childKeys();
    for (const QString& key : keys) {
        if (key != name && key.compare(name, Qt::CaseInsensitive) == 0)
            store.remove(key);
    }
}

void writeValue(QSettings& store, QLatin1String name, const QVariant& value) {
    removeOtherSpellings(store, name);
    store.setValue(name, value);
}

void writeNumber(QSettings& store, QLatin1String name, const std::atomic<int32_t>& value) {
    writeValue(store, name, int(value.load(std::memory_order_relaxed)));
}

void writeText(QSettings& store, QLatin1String name, const QString& text) {
    writeValue(store, name, text);
}

void writeGuid(QSettings& store, QLatin1String name, const std::optional<QByteArray>& guid) {
    removeOtherSpellings(store, name);
    // No identifier means the default device: leaving an old one behind would bring
    // back a card that the user has since moved away from.
    if (guid && guid->size() == kGuidBytes)
        store.setValue(name, *guid);
    else
        store.remove(name);
}

QByteArray encodeColumns(const std::array<int32_t, Settings::kColumnCount>& columns) {
    QByteArray bytes(Settings::kColumnBytes, '\0');
    for (int i = 0; i < Settings::kColumnCount; ++i)
        qToLittleEndian<qint32>(columns[i], bytes.data() + 4 * i);
    return bytes;
}

std::array<int32_t, Settings::kColumnCount> decodeColumns(const QByteArray& bytes) {
    std::array<int32_t, Settings::kColumnCount> columns{};
    for (int i = 0; i < Settings::kColumnCount; ++i)
        columns[i] = qFromLittleEndian<qint32>(bytes.constData() + 4 * i);
    return columns;
}

// Mount points compare without a trailing separator: "/media/cd/" is "/media/cd".
QString withoutTrailingSlash(const QString& root) {
    QString path = root;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool isPseudoFileSystem(const QByteArray& type) {
    static const char* const kPseudo[] = {
        "autofs",        "binfmt_misc",     "bpf",         "cgroup",
        "cgroup2",       "configfs",        "debugfs",     "devfs",
        "devpts",        "devtmpfs",        "efivarfs",    "fusectl",
        "hugetlbfs",     "mqueue",          "nfsd",        "none",
        "nsfs",          "overlay",         "aufs",        "proc",
        "pstore",        "ramfs",           "rootfs",      "rpc_pipefs",
        "securityfs",    "selinuxfs",       "squashfs",    "sysfs",
        "tmpfs",         "tracefs",         "fuse.portal", "fuse.lxcfs",
        "fuse.snapfuse", "fuse.gvfsd-fuse",
    };
    for (const char* pseudo : kPseudo) {
        if (type == pseudo)
            return true;
    }
    return false;
}

QByteArray readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(64).trimmed();
}

} // namespace

Settings::Settings() : volumes(&Settings::mountedVolumes), columnSizes(defaultColumnSizes()) {}

std::array<int32_t, Settings::kColumnCount> Settings::defaultColumnSizes() {
    return {195, 128, 46,  154, // file list, view 0
            251, 149, 50,  248, // search results
            251, 149, 50,  248, // kept
            193, 127, 0,   0,   // playlist
            267, 165, 0,   264, // history
            150, 82,  0,   0,   // file list, view 2
            160, 118, 245, 16}; // band widths
}

QString Settings::defaultHomeFolder() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return QDir::currentPath();
    return data + QLatin1Char('/') + QLatin1String(kApplication);
}

QString Settings::defaultCdDrive(const std::vector<Volume>& volumes) {
    QString chosen;
    for (const Volume& volume : volumes) {
        if (volume.kind == Volume::CdRom)
            return volume.root;
        if (volume.kind == Volume::Removable)
            chosen = volume.root;
    }
    if (chosen.isEmpty() && !volumes.empty())
        chosen = volumes.front().root;
    return chosen;
}

Volume::Kind Settings::volumeKind(const QString& device, const QString& fileSystemType,
                                  const QString& sysRoot) {
    if (fileSystemType == QLatin1String("iso9660") || fileSystemType == QLatin1String("udf"))
        return Volume::CdRom;
    // /dev/disk/by-label/X and /dev/mapper/Y are links to the kernel's device node.
    QString path = QFileInfo(device).canonicalFilePath();
    if (path.isEmpty())
        path = device;
    if (!path.startsWith(QLatin1String("/dev/")))
        return Volume::Fixed; // network and user-space file systems
    const QString name = QFileInfo(path).fileName();
    static const QRegularExpression optical(QStringLiteral("^sr[0-9]+$"));
    if (optical.match(name).hasMatch())
        return Volume::CdRom;
    // The removable flag belongs to the whole disk; a partition's sysfs folder sits
    // inside its disk's folder.
    QString folder = QFileInfo(sysRoot + QLatin1String("/class/block/") + name).canonicalFilePath();
    if (folder.isEmpty())
        return Volume::Fixed;
    if (QFileInfo::exists(folder + QLatin1String("/partition")))
        folder = QFileInfo(folder).path();
    return readSmallFile(folder + QLatin1String("/removable")) == "1" ? Volume::Removable
                                                                      : Volume::Fixed;
}

std::vector<Volume> Settings::mountedVolumes() {
    std::vector<Volume> list;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || isPseudoFileSystem(info.fileSystemType()))
            continue;
        list.push_back({info.rootPath(), volumeKind(QString::fromLocal8Bit(info.device()),
                                                    QString::fromLatin1(info.fileSystemType()))});
    }
    return list;
}

void Settings::setDefaults(const std::vector<Volume>& mounted) {
    homeFolder = defaultHomeFolder();
    cdDrive = defaultCdDrive(mounted);
    initialFolder.clear();
    skin.clear();
    outputMode.store(0, std::memory_order_relaxed);
    soundCardGuid.reset();
    soundCard1Guid.reset();
    soundCard2Guid.reset();
    columnSizes = defaultColumnSizes();
    toolTip.store(1, std::memory_order_relaxed);
    babySecure.store(1, std::memory_order_relaxed);
    maximized.store(1, std::memory_order_relaxed);
    crossfader.store(0, std::memory_order_relaxed);
    multiInstance.store(0, std::memory_order_relaxed);
    autoBpm.store(1, std::memory_order_relaxed);
    autoLevel.store(0, std::memory_order_relaxed);
    autoZPitch.store(0, std::memory_order_relaxed);
    longMix.store(0, std::memory_order_relaxed);
    masterTempo.store(1, std::memory_order_relaxed);
    limitPitch.store(0, std::memory_order_relaxed);
    classicResampling.store(0, std::memory_order_relaxed);
}

void Settings::read(QSettings& store, const std::vector<Volume>& mounted) {
    const ValueReader reader(store);

    QString text;
    // An empty home folder would put the program's files in whatever folder it was
    // started from; keep the default instead.
    if (reader.readText(kHomeFolder, text) && !text.isEmpty())
        homeFolder = text;
    // A drive that is gone or is now a hard disk must not be scanned as a CD.
    if (reader.readText(kCdDrive, text) && !text.isEmpty()) {
        const QString wanted = withoutTrailingSlash(text);
        for (const Volume& volume : mounted) {
            if (volume.kind != Volume::Fixed && withoutTrailingSlash(volume.root) == wanted) {
                cdDrive = text;
                break;
            }
        }
    }
    reader.readBinary(kInitialFolder, -1, initialFolder);
    // A skin name from another version may name a skin whose layout this one
    // cannot draw.
    if (reader.readText(kVersionName, text) && text == QLatin1String(kVersion))
        reader.readText(kSkin, skin);

    reader.readNumber(kOutputMode, outputMode);
    reader.readGuid(kSoundCardGuid, soundCardGuid);
    reader.readGuid(kSoundCard1Guid, soundCard1Guid);
    reader.readGuid(kSoundCard2Guid, soundCard2Guid);
    QByteArray columns;
    if (reader.readBinary(kColumnSizes, kColumnBytes, columns))
        columnSizes = decodeColumns(columns);

    reader.readNumber(kToolTip, toolTip);
    reader.readNumber(kBabySecureRead, babySecure);
    reader.readNumber(kMaximized, maximized);
    reader.readNumber(kCrossfader, crossfader);
    reader.readNumber(kMultiInstance, multiInstance);
    reader.readNumber(kAutoBpm, autoBpm);
    reader.readNumber(kAutoLevel, autoLevel);
    reader.readNumber(kAutoZPitch, autoZPitch);
    reader.readNumber(kLongMix, longMix);
    reader.readNumber(kMasterTempo, masterTempo);
    reader.readNumber(kLimitPitch, limitPitch);
    reader.readNumber(kClassicResampling, classicResampling);
}

void Settings::repairColumnSizes() {
    constexpr int kGroupSize = 4;
    constexpr int kBandGroup = kColumnCount - kGroupSize;
    for (int group = 0; group < kBandGroup; group += kGroupSize) {
        int64_t sum = 0; // four stored values may overflow 32 bits
        for (int i = 0; i < kGroupSize; ++i)
            sum += columnSizes[group + i];
        if (sum == 0) {
            for (int i = 0; i < kGroupSize; ++i)
                columnSizes[group + i] = kRepairedColumn;
        }
    }
    for (int i = kBandGroup; i < kColumnCount; ++i) {
        if (columnSizes[i] < kMinBandWidth)
            columnSizes[i] = kMinBandWidth;
    }
}

void Settings::load() {
    const std::vector<Volume> mounted = volumes ? volumes() : std::vector<Volume>{};
    setDefaults(mounted);
    {
        std::unique_ptr<QSettings> store = openStore(storageFile_);
        // A file that cannot be read leaves every default; one that is partly
        // garbage still gives the values that parse, each checked by its reader.
        if (store->status() != QSettings::AccessError)
            read(*store, mounted);
    }
    repairColumnSizes();
    if (homeFolder == defaultHomeFolder())
        QDir().mkpath(homeFolder);
}

bool Settings::save() const {
    std::unique_ptr<QSettings> store = openStore(storageFile_);
    if (store->status() == QSettings::AccessError || !store->isWritable())
        return false;

    if (!homeFolder.isEmpty())
        writeText(*store, kHomeFolder, homeFolder);
    if (!cdDrive.isEmpty())
        writeText(*store, kCdDrive, cdDrive);
    writeText(*store, kSkin, skin);
    if (!initialFolder.isEmpty())
        writeValue(*store, kInitialFolder, initialFolder);
    writeValue(*store, kColumnSizes, encodeColumns(columnSizes));
    writeText(*store, kVersionName, QLatin1String(kVersion));

    writeNumber(*store, kOutputMode, outputMode);
    writeNumber(*store, kToolTip, toolTip);
    writeNumber(*store, kBabySecureWrite, babySecure);
    writeNumber(*store, kMaximized, maximized);
    writeNumber(*store, kCrossfader, crossfader);
    writeNumber(*store, kMultiInstance, multiInstance);
    writeNumber(*store, kAutoBpm, autoBpm);
    writeNumber(*store, kAutoLevel, autoLevel);
    writeNumber(*store, kAutoZPitch, autoZPitch);
    writeNumber(*store, kLongMix, longMix);
    writeNumber(*store, kMasterTempo, masterTempo);
    writeNumber(*store, kLimitPitch, limitPitch);
    writeNumber(*store, kClassicResampling, classicResampling);

    writeGuid(*store, kSoundCardGuid, soundCardGuid);
    writeGuid(*store, kSoundCard1Guid, soundCard1Guid);
    writeGuid(*store, kSoundCard2Guid, soundCard2Guid);

    // The status keeps an earlier FormatError from reading a damaged file (which is
    // then rewritten cleanly); only an access error means the values were lost.
    store->sync();
    return store->status() != QSettings::AccessError;
}

Settings& settings() {
    static Settings instance;
    return instance;
}
