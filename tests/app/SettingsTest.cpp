#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QVariant>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

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

QByteArray guid(char fill) {
    return QByteArray(16, fill);
}

int32_t get(const std::atomic<int32_t>& value) {
    return value.load(std::memory_order_relaxed);
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
        EXPECT_TRUE(s.initialFolder.isEmpty());
        EXPECT_TRUE(s.skin.isEmpty());
        EXPECT_EQ(get(s.outputMode), 0);
        EXPECT_FALSE(s.soundCardGuid);
        EXPECT_FALSE(s.soundCard1Guid);
        EXPECT_FALSE(s.soundCard2Guid);
        EXPECT_EQ(s.columnSizes, Settings::defaultColumnSizes());
        EXPECT_EQ(get(s.toolTip), 1);
        EXPECT_EQ(get(s.babySecure), 1);
        EXPECT_EQ(get(s.maximized), 1);
        EXPECT_EQ(get(s.crossfader), 0);
        EXPECT_EQ(get(s.multiInstance), 0);
        EXPECT_EQ(get(s.autoBpm), 1);
        EXPECT_EQ(get(s.autoLevel), 0);
        EXPECT_EQ(get(s.autoZPitch), 0);
        EXPECT_EQ(get(s.longMix), 0);
        EXPECT_EQ(get(s.masterTempo), 1);
        EXPECT_EQ(get(s.limitPitch), 0);
        EXPECT_EQ(s.pitchMin(), 2730);
        EXPECT_EQ(s.pitchMax(), 5462);
    }

    QTemporaryDir dir_;
    QString iniPath_;
    int files_ = 0;
};

TEST_F(SettingsTest, FirstRunGivesDefaultsAndCreatesTheHomeFolder) {
    ASSERT_FALSE(QFileInfo::exists(homeDefault()));
    auto s = loaded();
    expectDefaults(*s);
    EXPECT_TRUE(s->cdDrive.isEmpty());
    EXPECT_TRUE(QFileInfo(homeDefault()).isDir());
}

TEST_F(SettingsTest, EveryValueSurvivesASaveAndALoad) {
    const std::vector<Volume> volumes = {{"/", Volume::Fixed}, {"/media/stick", Volume::Removable}};
    auto s = loaded(volumes);
    s->homeFolder = dir_.filePath(QStringLiteral("home é"));
    s->cdDrive = QStringLiteral("/media/stick");
    s->initialFolder = QByteArray("/music/a, b\0\0", 14);
    s->skin = QStringLiteral("Neon, \"dark\" @night");
    s->outputMode = 7;
    s->soundCardGuid = guid('\x01');
    s->soundCard1Guid = guid('\0');
    s->soundCard2Guid = guid('\xff');
    Columns columns = Settings::defaultColumnSizes();
    columns[0] = -5;
    columns[3] = 2147483647;
    columns[27] = 300;
    s->columnSizes = columns;
    s->toolTip = 0;
    s->babySecure = 2;
    s->maximized = 0;
    s->crossfader = 2;
    s->multiInstance = 1;
    s->autoBpm = 0;
    s->autoLevel = 1;
    s->autoZPitch = 1;
    s->longMix = 112;
    s->masterTempo = 0;
    s->limitPitch = 1;
    ASSERT_TRUE(s->save());

    iniPath_ = diskCopy();
    auto r = loaded(volumes);
    EXPECT_EQ(r->homeFolder, s->homeFolder);
    EXPECT_EQ(r->cdDrive, s->cdDrive);
    EXPECT_EQ(r->initialFolder, s->initialFolder);
    EXPECT_EQ(r->skin, s->skin);
    EXPECT_EQ(get(r->outputMode), 7);
    EXPECT_EQ(r->soundCardGuid, s->soundCardGuid);
    EXPECT_EQ(r->soundCard1Guid, s->soundCard1Guid);
    EXPECT_EQ(r->soundCard2Guid, s->soundCard2Guid);
    EXPECT_EQ(r->columnSizes, columns);
    EXPECT_EQ(get(r->toolTip), 0);
    EXPECT_EQ(get(r->babySecure), 2);
    EXPECT_EQ(get(r->maximized), 0);
    EXPECT_EQ(get(r->crossfader), 2);
    EXPECT_EQ(get(r->multiInstance), 1);
    EXPECT_EQ(get(r->autoBpm), 0);
    EXPECT_EQ(get(r->autoLevel), 1);
    EXPECT_EQ(get(r->autoZPitch), 1);
    EXPECT_EQ(get(r->longMix), 112);
    EXPECT_EQ(get(r->masterTempo), 0);
    EXPECT_EQ(get(r->limitPitch), 1);
    EXPECT_EQ(r->pitchMin(), 3768);
    EXPECT_EQ(r->pitchMax(), 4424);

    // The stored form: names, kinds and sizes as other readers of the file expect.
    {
        QSettings store(iniPath_, QSettings::IniFormat);
        EXPECT_EQ(store.value("Version").toString(), QStringLiteral("1.12"));
        EXPECT_TRUE(store.contains("Baby Secure"));
        EXPECT_FALSE(store.contains("Baby secure"));
        EXPECT_EQ(store.value("Column Sizes").typeId(), QMetaType::QByteArray);
        EXPECT_EQ(store.value("Column Sizes").toByteArray(), columnBytes(columns));
        EXPECT_EQ(store.value("LongMix").toString(), QStringLiteral("112"));
    }

    // No card identifier held (the default device): the stored ones go away.
    r->soundCardGuid.reset();
    r->soundCard1Guid.reset();
    r->soundCard2Guid.reset();
    ASSERT_TRUE(r->save());
    QSettings store(iniPath_, QSettings::IniFormat);
    EXPECT_FALSE(store.contains("Sound card GUID"));
    EXPECT_FALSE(store.contains("Sound card 1 GUID"));
    EXPECT_FALSE(store.contains("Sound card 2 GUID"));
}

TEST_F(SettingsTest, EmptyValuesAreNotWritten) {
    auto s = loaded();
    s->homeFolder.clear();
    ASSERT_TRUE(s->cdDrive.isEmpty());
    ASSERT_TRUE(s->initialFolder.isEmpty());
    ASSERT_TRUE(s->save());
    QSettings store(iniPath_, QSettings::IniFormat);
    EXPECT_FALSE(store.contains("Initial folder"));
    EXPECT_FALSE(store.contains("Home folder"));
    EXPECT_FALSE(store.contains("CD Drive"));
    EXPECT_TRUE(store.contains("Skin")); // always written, empty = the built-in skin
    EXPECT_EQ(store.value("Skin").toString(), QString());
}

// Each case stores one value of the wrong kind or size (or a boundary that fits) and
// checks the field that reads it.
TEST_F(SettingsTest, ValuesOfTheWrongKindOrSizeKeepTheirDefaults) {
    struct Case {
        const char* what;
        const char* name;
        QVariant value;
        std::function<bool(const Settings&)> expected;
    };
    const auto defaultColumns = [](const Settings& s) {
        return s.columnSizes == Settings::defaultColumnSizes();
    };
    const auto noGuid = [](const Settings& s) { return !s.soundCardGuid; };
    const auto toolTipOn = [](const Settings& s) { return get(s.toolTip) == 1; };
    const auto noSkin = [](const Settings& s) { return s.skin.isEmpty(); };
    const QString text511(511, QLatin1Char('a'));
    const QString utf8Of510(255, QChar(0xe9)); // two bytes each as UTF-8
    const Case cases[] = {
        {"columns of 111 bytes", "Column Sizes", QByteArray(111, '\x20'), defaultColumns},
        {"columns of 113 bytes", "Column Sizes", QByteArray(113, '\x20'), defaultColumns},
        {"columns as text", "Column Sizes", QString(112, QLatin1Char('x')), defaultColumns},
        {"columns as a number", "Column Sizes", 5, defaultColumns},
        {"number as text", "ToolTip", QStringLiteral("yes"), toolTipOn},
        {"number as binary", "ToolTip", QByteArray(4, '\0'), toolTipOn},
        {"number beyond 32 bits", "ToolTip", QStringLiteral("2147483648"), toolTipOn},
        {"number with a fraction", "ToolTip", QStringLiteral("0.5"), toolTipOn},
        {"number as a list", "ToolTip", QStringList{"0", "0"}, toolTipOn},
        {"boolean text", "ToolTip", false, toolTipOn},
        {"number in range", "ToolTip", QStringLiteral("-2147483648"),
         [](const Settings& s) { return get(s.toolTip) == INT32_MIN; }},
        {"identifier of 15 bytes", "Sound card GUID", QByteArray(15, '\1'), noGuid},
        {"identifier of 17 bytes", "Sound card GUID", QByteArray(17, '\1'), noGuid},
        {"identifier as text", "Sound card GUID", QString(16, QLatin1Char('a')), noGuid},
        {"identifier as a number", "Sound card GUID", 12, noGuid},
        {"text of 512 bytes", "Skin", QString(512, QLatin1Char('a')), noSkin},
        {"text of 512 UTF-8 bytes", "Skin", QString(256, QChar(0xe9)), noSkin},
        {"text as binary", "Skin", QByteArray("Neon"), noSkin},
        {"text as a list", "Skin", QStringList{"Neon", "Dark"}, noSkin},
        {"text of 511 bytes", "Skin", text511,
         [text511](const Settings& s) { return s.skin == text511; }},
        {"text of 510 UTF-8 bytes", "Skin", utf8Of510,
         [utf8Of510](const Settings& s) { return s.skin == utf8Of510; }},
        {"empty home folder", "Home folder", QString(),
         [this](const Settings& s) { return s.homeFolder == homeDefault(); }},
        {"initial folder as text", "Initial folder", QStringLiteral("/music"),
         [](const Settings& s) { return s.initialFolder.isEmpty(); }},
        {"output mode as binary", "Output mode", QByteArray("1"),
         [](const Settings& s) { return get(s.outputMode) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeValues({{"Version", QStringLiteral("1.12")}, {c.name, c.value}});
        // Once as this run's QSettings holds the value, once as the next run parses it.
        EXPECT_TRUE(c.expected(*loaded()));
        EXPECT_TRUE(c.expected(*loaded({}, diskCopy())));
    }
}

TEST_F(SettingsTest, GarbageFilesGiveDefaultsAndCanBeSavedOver) {
    std::vector<QByteArray> files;
    std::mt19937 random(20240611u);
    for (int n = 0; n < 8; ++n) {
        QByteArray bytes(1 + random() % 4096, '\0');
        for (char& byte : bytes)
            byte = char(random());
        files.push_back(bytes);
    }
    files.push_back(QByteArray("[General\nToolTip\n\"Skin=\"open\n=\n==\n[[]]\n"));
    files.push_back(QByteArray(
        "[General]\nVersion=1.12\nColumn Sizes=@ByteArray(\\0\\0\\0\nSkin=@Variant(\\0\\0\\0"
        "\\x2\\0)\nMaximized=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\n"
        "Sound card GUID=@ByteArray(\\x\\x\\x\\x\\x)\nCrossfader=@Invalid()\n"));
    static const char kBomAndNul[] = "\xef\xbb\xbf[General]\r\nLongMix=1e3\r\nAutoBpm=\0\n";
    files.push_back(QByteArray(kBomAndNul, sizeof kBomAndNul - 1));
    files.push_back(QByteArray(100000, '['));
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "file " << i);
        writeRaw(files[i]);
        auto s = loaded();
        expectDefaults(*s);

        s->longMix = 40;
        EXPECT_TRUE(s->save());
        EXPECT_EQ(get(loaded({}, diskCopy())->longMix), 40);
    }
}

TEST_F(SettingsTest, ColumnSizesAreRepaired) {
    Columns stored = Settings::defaultColumnSizes();
    for (int i = 0; i < 4; ++i)
        stored[i] = 0; // group 1: all zero
    stored[8] = 5;     // group 3 adds up to zero without being all zero
    stored[9] = -5;
    stored[10] = 0;
    stored[11] = 0;
    stored[12] = INT32_MAX; // group 4 overflows 32 bits: not zero, kept
    stored[13] = INT32_MAX;
    stored[14] = 2;
    stored[15] = 0;
    stored[24] = 3; // band widths below 16
    stored[25] = -100;
    stored[26] = 16;
    stored[27] = 0;
    writeValues({{"Column Sizes", columnBytes(stored)}});
    auto s = loaded();

    Columns expected = stored;
    for (int i : {0, 1, 2, 3, 8, 9, 10, 11, 24, 25, 27})
        expected[i] = 16;
    EXPECT_EQ(s->columnSizes, expected);
}

TEST_F(SettingsTest, DefaultCdDriveFollowsTheDriveRule) {
    const Volume fixedRoot{"/", Volume::Fixed};
    const struct {
        const char* what;
        std::vector<Volume> volumes;
        QString expected;
    } cases[] = {
        {"removable before CD-ROM",
         {fixedRoot, {"/media/usb", Volume::Removable}, {"/media/cd", Volume::CdRom}},
         "/media/cd"},
        {"two CD-ROMs",
         {fixedRoot, {"/media/cd0", Volume::CdRom}, {"/media/cd1", Volume::CdRom}},
         "/media/cd0"},
        {"only removable",
         {fixedRoot, {"/media/a", Volume::Removable}, {"/media/b", Volume::Removable}},
         "/media/b"},
        {"only fixed", {fixedRoot, {"/home", Volume::Fixed}}, "/"},
        {"none", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(loaded(c.volumes)->cdDrive, c.expected);
    }
}

TEST_F(SettingsTest, StoredCdDriveMustBeARemovableOrCdRomVolume) {
    const std::vector<Volume> volumes = {{"/", Volume::Fixed},
                                         {"/media/usb", Volume::Removable},
                                         {"/media/cd", Volume::CdRom},
                                         {"/media/usb2", Volume::Removable}};
    const struct {
        QString stored;
        QString expected;
    } cases[] = {
        {"/", "/media/cd"},           // a fixed volume
        {"/media/gone", "/media/cd"}, // not mounted now
        {"", "/media/cd"},
        {"/media/usb", "/media/usb"},
        {"/media/usb2/", "/media/usb2/"},
        {"/media/cd", "/media/cd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        writeValues({{"CD Drive", c.stored}});
        EXPECT_EQ(loaded(volumes)->cdDrive, c.expected);
    }
}

TEST_F(SettingsTest, OnlyVersion112KeepsTheSkin) {
    const struct {
        QVariant version; // invalid = not stored
        QString expectedSkin;
    } cases[] = {
        {QStringLiteral("1.12"), "Neon"},
        {QStringLiteral("1.11"), ""},
        {QStringLiteral("1.12 "), ""},
        {QVariant(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version.toString().toStdString());
        std::vector<std::pair<QString, QVariant>> values = {
            {"Skin", QStringLiteral("Neon")}, {"ToolTip", 0}, {"LongMix", 64}};
        if (c.version.isValid())
            values.push_back({"Version", c.version});
        writeValues(values);
        auto s = loaded();
        EXPECT_EQ(s->skin, c.expectedSkin);
        EXPECT_EQ(get(s->toolTip), 0);
        EXPECT_EQ(get(s->longMix), 64);
    }
}

TEST_F(SettingsTest, BabySecureIsOneValueWhateverTheCaseOfItsName) {
    const struct {
        const char* file;
        int expected;
    } cases[] = {
        {"[General]\nBaby secure=2\n", 2},
        {"[General]\nBaby Secure=0\n", 0},
        {"[General]\nBABY SECURE=2\n", 2},
        {"[General]\nBaby Secure=0\nBaby secure=2\n", 2}, // the read spelling wins
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        writeRaw(c.file);
        auto s = loaded();
        EXPECT_EQ(get(s->babySecure), c.expected);

        ASSERT_TRUE(s->save());
        QSettings store(iniPath_, QSettings::IniFormat);
        QStringList spellings;
        for (const QString& key : store.childKeys()) {
            if (key.compare(QLatin1String("baby secure"), Qt::CaseInsensitive) == 0)
                spellings << key;
        }
        EXPECT_EQ(spellings, QStringList{"Baby Secure"});
        EXPECT_EQ(get(loaded({}, diskCopy())->babySecure), c.expected);
    }
}

TEST_F(SettingsTest, UnwritableStoreLosesTheSaveQuietly) {
    // A regular file where the folder should be: no user, root included, can write.
    QFile blocker(dir_.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString paths[] = {dir_.filePath(QStringLiteral("blocker/Zorvendal.ini")),
                             dir_.filePath(QStringLiteral("config"))}; // a folder itself
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        auto s = loaded({}, path);
        expectDefaults(*s);
        s->toolTip = 0;
        EXPECT_FALSE(s->save());
        EXPECT_EQ(get(loaded({}, path)->toolTip), 1);
    }
}

TEST_F(SettingsTest, VolumeKindComesFromTheWholeDisk) {
    // A small sysfs: partitions are folders inside their disk's folder.
    const QString sys = dir_.filePath(QStringLiteral("sys"));
    const auto makeDisk = [&](const QString& disk, const char* removable,
                              const QString& partition) {
        const QString diskDir = sys + "/devices/" + disk;
        QDir().mkpath(diskDir);
        QFile flag(diskDir + "/removable");
        ASSERT_TRUE(flag.open(QIODevice::WriteOnly));
        flag.write(removable);
        flag.close();
        QDir().mkpath(sys + "/class/block");
        QString node = disk;
        QString target = diskDir;
        if (!partition.isEmpty()) {
            target = diskDir + "/" + partition;
            QDir().mkpath(target);
            QFile mark(target + "/partition");
            ASSERT_TRUE(mark.open(QIODevice::WriteOnly));
            mark.write("1\n");
            node = partition;
        }
        ASSERT_TRUE(QFile::link(target, sys + "/class/block/" + node));
    };
    makeDisk("sdb", "1\n", "sdb1");
    makeDisk("nvme0n1", "0\n", "nvme0n1p2");
    makeDisk("sdc", "1\n", "");

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

TEST_F(SettingsTest, MountedVolumesLeaveOutPseudoFileSystems) {
    for (const Volume& volume : Settings::mountedVolumes()) {
        SCOPED_TRACE(volume.root.toStdString());
        EXPECT_FALSE(volume.root.isEmpty());
        for (const char* pseudo : {"/proc", "/sys", "/dev", "/dev/shm", "/dev/pts", "/run"})
            EXPECT_NE(volume.root, QLatin1String(pseudo));
        const QByteArray type = QStorageInfo(volume.root).fileSystemType();
        for (const char* pseudo :
             {"tmpfs", "proc", "sysfs", "devtmpfs", "overlay", "squashfs", "cgroup2"})
            EXPECT_NE(type, QByteArray(pseudo));
    }
}

} // namespace
