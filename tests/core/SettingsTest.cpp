// The settings file: every value saved and loaded, values of the wrong kind or size,
// garbage and unwritable stores, the CD drive choice, other versions' files, and the
// kind of a mounted volume.

#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <tuple>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using Columns = std::array<int32_t, Settings::kColumnCount>;

QByteArray columnBytes(const Columns& columns) {
    QByteArray bytes(Settings::kColumnBytes, '\0');
    for (int i = 0; i < Settings::kColumnCount; ++i)
        qToLittleEndian<qint32>(columns[i], bytes.data() + 4 * i);
    return bytes;
}

int32_t get(const std::atomic<int32_t>& value) {
    return value.load(std::memory_order_relaxed);
}

// Every number setting, in the order of the tables below.
std::atomic<int32_t> Settings::*const kNumbers[] = {
    &Settings::outputMode,       &Settings::toolTip,     &Settings::babySecure,
    &Settings::maximized,        &Settings::crossfader,  &Settings::multiInstance,
    &Settings::autoBpm,          &Settings::autoLevel,   &Settings::autoZPitch,
    &Settings::longMix,          &Settings::masterTempo, &Settings::limitPitch,
    &Settings::classicResampling};
using Numbers = std::vector<int32_t>;

Numbers numbers(const Settings& s) {
    Numbers values;
    for (auto field : kNumbers)
        values.push_back(get(s.*field));
    return values;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // The default home folder follows the XDG data folder; keep it inside the test.
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toUtf8());
        iniPath_ = dir_.filePath(QStringLiteral("config/Zorvendal.ini"));
        QDir().mkpath(dir_.filePath(QStringLiteral("config")));
    }

    std::unique_ptr<Settings> loaded(const std::vector<Volume>& volumes = {},
                                     const QString& path = {}) {
        auto settings = std::make_unique<Settings>();
        settings->setStorageFile(path.isEmpty() ? iniPath_ : path);
        settings->volumes = [volumes] { return volumes; };
        settings->load();
        return settings;
    }

    // QSettings caches a file per path in the process and re-reads it only when its
    // size or time stamp changed; a new name per stored state makes every load parse
    // the file from disk.
    QString nextPath() {
        return dir_.filePath(QStringLiteral("config/Zorvendal-%1.ini").arg(++files_));
    }

    // A copy of the stored file under a new name, as the next run would read it.
    QString diskCopy() {
        const QString copy = nextPath();
        EXPECT_TRUE(QFile::copy(iniPath_, copy));
        return copy;
    }

    void writeRaw(const QByteArray& contents) {
        iniPath_ = nextPath();
        QFile file(iniPath_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }

    // Stores values the way QSettings writes each kind.
    void writeValues(const std::vector<std::pair<QString, QVariant>>& values) {
        iniPath_ = nextPath();
        QSettings store(iniPath_, QSettings::IniFormat);
        for (const auto& [name, value] : values)
            store.setValue(name, value);
        store.sync();
        ASSERT_EQ(store.status(), QSettings::NoError);
    }

    QString homeDefault() const { return dir_.filePath(QStringLiteral("data/Zorvendal")); }

    void expectDefaults(const Settings& s) {
        EXPECT_EQ(s.homeFolder, homeDefault());
        EXPECT_TRUE(s.initialFolder.isEmpty() && s.skin.isEmpty());
        EXPECT_FALSE(s.soundCardGuid || s.soundCard1Guid || s.soundCard2Guid);
        EXPECT_EQ(s.columnSizes, Settings::defaultColumnSizes());
        EXPECT_EQ(numbers(s), (Numbers{0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0}));
    }

    QTemporaryDir dir_;
    QString iniPath_;
    int files_ = 0;
};

TEST_F(SettingsTest, EveryValueSurvivesASaveAndALoad) {
    const std::vector<Volume> volumes = {{"/", Volume::Fixed}, {"/media/stick", Volume::Removable}};
    auto s = loaded(volumes);
    s->homeFolder = dir_.filePath(QStringLiteral("home é"));
    s->cdDrive = QStringLiteral("/media/stick");
    s->initialFolder = QByteArray("/music/a, b\0\0", 14);
    s->skin = QStringLiteral("Neon, \"dark\" @night");
    s->soundCardGuid = QByteArray(16, '\x01');
    s->soundCard1Guid = QByteArray(16, '\0');
    s->soundCard2Guid = QByteArray(16, '\xff');
    Columns columns = Settings::defaultColumnSizes();
    columns[0] = -5;
    columns[3] = 2147483647;
    columns[27] = 300;
    s->columnSizes = columns;
    // Every number differs from its default.
    const Numbers stored = {7, 0, 2, 0, 2, 1, 0, 1, 1, 112, 0, 1, 1};
    for (size_t i = 0; i < stored.size(); ++i)
        (*s).*kNumbers[i] = stored[i];
    ASSERT_TRUE(s->save());

    iniPath_ = diskCopy();
    auto r = loaded(volumes);
    const auto others = [](const Settings& x) {
        return std::tuple(x.homeFolder, x.cdDrive, x.initialFolder, x.skin, x.soundCardGuid,
                          x.soundCard1Guid, x.soundCard2Guid, x.columnSizes);
    };
    EXPECT_EQ(others(*r), others(*s));
    EXPECT_EQ(numbers(*r), stored);
    {
        // The stored form: names, kinds and sizes as other readers of the file expect.
        QSettings store(iniPath_, QSettings::IniFormat);
        EXPECT_EQ(store.value("Version").toString(), QStringLiteral("1.12"));
        EXPECT_TRUE(store.contains("Baby Secure"));
        EXPECT_EQ(store.value("Column Sizes").typeId(), QMetaType::QByteArray);
        EXPECT_EQ(store.value("Column Sizes").toByteArray(), columnBytes(columns));
        EXPECT_EQ(store.value("LongMix").toString(), QStringLiteral("112"));
    }

    // Card identifiers no longer held (the default device) leave the file; empty folders
    // are not written; the skin always is (empty = the built-in skin).
    r->soundCardGuid = r->soundCard1Guid = r->soundCard2Guid = std::nullopt;
    ASSERT_TRUE(r->save());
    for (const char* name : {"Sound card GUID", "Sound card 1 GUID", "Sound card 2 GUID"})
        EXPECT_FALSE(QSettings(iniPath_, QSettings::IniFormat).contains(name)) << name;
    iniPath_ = nextPath();
    r->setStorageFile(iniPath_);
    r->homeFolder = r->cdDrive = r->skin = QString();
    r->initialFolder.clear();
    ASSERT_TRUE(r->save());
    QSettings store(iniPath_, QSettings::IniFormat);
    for (const char* name : {"Home folder", "CD Drive", "Initial folder"})
        EXPECT_FALSE(store.contains(name)) << name;
    EXPECT_TRUE(store.contains("Skin"));
}

// Each case stores one value of the wrong kind or size, which leaves every value at its
// default, or a value that fits (a boundary, or one that is repaired).
TEST_F(SettingsTest, ValuesOfTheWrongKindOrSizeKeepTheirDefaults) {
    // Column widths below 16 are repaired, and so is a group whose widths are all zero;
    // a group that adds up to zero (or overflows 32 bits) without being all zero is kept.
    Columns columns = Settings::defaultColumnSizes();
    const std::pair<int, int32_t> edits[] = {
        {0, 0},          {1, 0},          {2, 0},  {3, 0},  {8, 5},  {9, -5},    {10, 0},  {11, 0},
        {12, INT32_MAX}, {13, INT32_MAX}, {14, 2}, {15, 0}, {24, 3}, {25, -100}, {26, 16}, {27, 0}};
    for (const auto& [index, value] : edits)
        columns[index] = value;
    Columns repaired = columns;
    for (int i : {0, 1, 2, 3, 8, 9, 10, 11, 24, 25, 27})
        repaired[i] = 16;
    const QString text511(511, QLatin1Char('a'));
    const QString utf8Of510(255, QChar(0xe9)); // two bytes each as UTF-8
    const struct {
        const char* what;
        const char* name;
        QVariant value;
        std::function<bool(const Settings&)> fits = {};
    } cases[] = {
        {"columns of 111 bytes", "Column Sizes", QByteArray(111, '\x20')},
        {"columns of 113 bytes", "Column Sizes", QByteArray(113, '\x20')},
        {"columns as text", "Column Sizes", QString(112, QLatin1Char('x'))},
        {"number as binary", "ToolTip", QByteArray(4, '\0')},
        {"number beyond 32 bits", "ToolTip", QStringLiteral("2147483648")},
        {"number with a fraction", "ToolTip", QStringLiteral("0.5")},
        {"number as a list", "ToolTip", QStringList{"0", "0"}},
        {"identifier of 15 bytes", "Sound card GUID", QByteArray(15, '\1')},
        {"identifier of 17 bytes", "Sound card GUID", QByteArray(17, '\1')},
        {"identifier as a number", "Sound card GUID", 12},
        {"text of 512 bytes", "Skin", QString(512, QLatin1Char('a'))},
        {"text of 512 UTF-8 bytes", "Skin", QString(256, QChar(0xe9))},
        {"text as binary", "Skin", QByteArray("Neon")},
        {"text as a list", "Skin", QStringList{"Neon", "Dark"}},
        {"empty home folder", "Home folder", QString()},
        {"initial folder as text", "Initial folder", QStringLiteral("/music")},
        {"number in range", "ToolTip", QStringLiteral("-2147483648"),
         [](const Settings& s) { return get(s.toolTip) == INT32_MIN; }},
        {"text of 511 bytes", "Skin", text511,
         [text511](const Settings& s) { return s.skin == text511; }},
        {"text of 510 UTF-8 bytes", "Skin", utf8Of510,
         [utf8Of510](const Settings& s) { return s.skin == utf8Of510; }},
        {"column widths repaired", "Column Sizes", columnBytes(columns),
         [repaired](const Settings& s) { return s.columnSizes == repaired; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeValues({{"Version", QStringLiteral("1.12")}, {c.name, c.value}});
        // Once as this run's QSettings holds the value, once as the next run parses it.
        for (const auto& s : {loaded(), loaded({}, diskCopy())}) {
            if (c.fits)
                EXPECT_TRUE(c.fits(*s));
            else
                expectDefaults(*s);
        }
    }
}

// Garbage files give the defaults and are saved over; a store that cannot be written
// gives the defaults and loses the save quietly. The first run creates the home folder.
TEST_F(SettingsTest, GarbageOrUnwritableStoresGiveDefaults) {
    ASSERT_FALSE(QFileInfo::exists(homeDefault()));
    expectDefaults(*loaded());
    EXPECT_TRUE(QFileInfo(homeDefault()).isDir()) << "the home folder is created";
    static const char kBomAndNul[] = "\xef\xbb\xbf[General]\r\nLongMix=1e3\r\nAutoBpm=\0\n";
    std::vector<QByteArray> files = {
        "[General\nToolTip\n\"Skin=\"open\n=\n==\n[[]]\n",
        "[General]\nVersion=1.12\nColumn Sizes=@ByteArray(\\0\\0\\0\nSkin=@Variant(\\0\\0\\0"
        "\\x2\\0)\nMaximized=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\n"
        "Sound card GUID=@ByteArray(\\x\\x\\x\\x\\x)\nCrossfader=@Invalid()\n",
        QByteArray(kBomAndNul, sizeof kBomAndNul - 1), QByteArray(100000, '[')};
    std::mt19937 random(20240611u);
    for (int n = 0; n < 8; ++n) {
        files.emplace_back(1 + random() % 4096, '\0');
        for (char& byte : files.back())
            byte = char(random());
    }
    // A regular file where the folder should be (no user, root included, can write
    // there), and a folder.
    ASSERT_TRUE(QFile(dir_.filePath(QStringLiteral("blocker"))).open(QIODevice::WriteOnly));
    const QString unwritable[] = {dir_.filePath(QStringLiteral("blocker/Zorvendal.ini")),
                                  dir_.filePath(QStringLiteral("config"))};
    for (size_t i = 0; i < files.size() + 2; ++i) {
        SCOPED_TRACE(testing::Message() << "store " << i);
        const bool writable = i < files.size();
        if (writable)
            writeRaw(files[i]);
        else
            iniPath_ = unwritable[i - files.size()];
        auto s = loaded();
        expectDefaults(*s);
        s->longMix = 40;
        EXPECT_EQ(s->save(), writable);
        EXPECT_EQ(get(loaded({}, writable ? diskCopy() : iniPath_)->longMix), writable ? 40 : 0);
    }
}

// With no stored drive (or one that is not a mounted removable or CD-ROM volume) the
// first CD-ROM is chosen, else the last removable volume, else the first.
TEST_F(SettingsTest, CdDriveIsAMountedRemovableOrCdRomVolume) {
    const Volume root{"/", Volume::Fixed};
    const std::vector<Volume> mixed = {root,
                                       {"/media/usb", Volume::Removable},
                                       {"/media/cd", Volume::CdRom},
                                       {"/media/usb2", Volume::Removable}};
    const struct {
        QString stored;
        std::vector<Volume> volumes;
        QString expected;
    } cases[] = {
        {"", mixed, "/media/cd"},
        {"", {root, {"/media/cd0", Volume::CdRom}, {"/media/cd1", Volume::CdRom}}, "/media/cd0"},
        {"", {root, {"/media/a", Volume::Removable}, {"/media/b", Volume::Removable}}, "/media/b"},
        {"", {root, {"/home", Volume::Fixed}}, "/"},
        {"", {}, ""},
        {"/", mixed, "/media/cd"},           // a fixed volume
        {"/media/gone", mixed, "/media/cd"}, // not mounted now
        {"/media/usb", mixed, "/media/usb"},
        {"/media/usb2/", mixed, "/media/usb2/"},
        {"/media/cd", mixed, "/media/cd"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        writeValues({{"CD Drive", cases[i].stored}});
        EXPECT_EQ(loaded(cases[i].volumes)->cdDrive, cases[i].expected);
    }
}

// Files as other versions and hands leave them. Only version 1.12 keeps the skin (the
// other values stay); "Baby Secure" is one value whatever the case of its name, the
// spelling read last wins, and it is saved under one spelling.
TEST_F(SettingsTest, StoredFilesOfOtherVersionsAndSpellings) {
    const struct {
        const char* file;
        QString skin;
        int babySecure;
    } cases[] = {
        {"[General]\nVersion=1.12\nSkin=Neon\nToolTip=0\n", "Neon", 1},
        {"[General]\nVersion=1.11\nSkin=Neon\nToolTip=0\n", "", 1},
        {"[General]\nVersion=\"1.12 \"\nSkin=Neon\nToolTip=0\n", "", 1},
        {"[General]\nSkin=Neon\nToolTip=0\n", "", 1},
        {"[General]\nToolTip=0\nBaby Secure=0\n", "", 0},
        {"[General]\nToolTip=0\nBABY SECURE=2\n", "", 2},
        {"[General]\nToolTip=0\nBaby Secure=0\nBaby secure=2\n", "", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        writeRaw(c.file);
        auto s = loaded();
        ASSERT_TRUE(s->save());
        QStringList spellings;
        for (const QString& key : QSettings(iniPath_, QSettings::IniFormat).childKeys()) {
            if (key.compare(QLatin1String("baby secure"), Qt::CaseInsensitive) == 0)
                spellings << key;
        }
        EXPECT_EQ(spellings, QStringList{"Baby Secure"});
        for (const auto& read : {std::move(s), loaded({}, diskCopy())}) {
            EXPECT_EQ(read->skin, c.skin);
            EXPECT_EQ(get(read->babySecure), c.babySecure);
            EXPECT_EQ(get(read->toolTip), 0);
        }
    }
}

TEST_F(SettingsTest, VolumeKindComesFromTheWholeDisk) {
    // A small sysfs: partitions are folders inside their disk's folder.
    const QString sys = dir_.filePath(QStringLiteral("sys"));
    const auto write = [](const QString& path, const char* text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    QDir().mkpath(sys + "/class/block");
    for (const auto& [disk, removable, partition] : {std::tuple{"sdb", "1\n", "/sdb1"},
                                                     {"nvme0n1", "0\n", "/nvme0n1p2"},
                                                     {"sdc", "1\n", ""}}) {
        const QString diskDir = sys + "/devices/" + disk, target = diskDir + partition;
        QDir().mkpath(target);
        write(diskDir + "/removable", removable);
        if (*partition)
            write(target + "/partition", "1\n");
        ASSERT_TRUE(QFile::link(target, sys + "/class/block/" + QFileInfo(target).fileName()));
    }

    const struct {
        const char* device;
        const char* type;
        Volume::Kind expected;
    } cases[] = {
        {"/dev/sdb1", "vfat", Volume::Removable},
        {"/dev/nvme0n1p2", "ext4", Volume::Fixed},
        {"/dev/sdc", "exfat", Volume::Removable},
        {"/dev/sr0", "", Volume::CdRom},
        {"/dev/sr1", "ext4", Volume::CdRom},
        {"/dev/sdq1", "iso9660", Volume::CdRom},
        {"/dev/sdq2", "udf", Volume::CdRom},
        {"/dev/sdz1", "ext4", Volume::Fixed}, // not in sysfs
        {"server:/export", "nfs4", Volume::Fixed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        EXPECT_EQ(Settings::volumeKind(c.device, c.type, sys), c.expected);
    }
}

} // namespace
