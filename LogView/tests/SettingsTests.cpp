// "Setting.xml": its place, the fourteen font attributes with their defaults and conversions,
// other content kept, broken files replaced; and the font record's Qt font.
#include "CKivLogView2Dlg.h"
#include "CViewSettings.h"
#include "LogFont.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <limits>
#include <memory>

namespace {

void WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// The document element's name and the "Font" child's attributes of a file; the element name is
// empty when the file is not well-formed XML.
struct SavedFile {
    QString rootName;
    QXmlStreamAttributes font;
    bool hasDeclaration = false;
    QStringList otherElements;
};

SavedFile ReadSaved(const QString& path)
{
    QFile file(path);
    SavedFile saved;
    if (!file.open(QIODevice::ReadOnly)) {
        return saved;
    }
    QXmlStreamReader reader(&file);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            saved.hasDeclaration = !reader.documentVersion().isEmpty();
            break;
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                saved.rootName = reader.name().toString();
            } else if (depth == 2 && reader.name() == u"Font") {
                saved.font = reader.attributes();
            } else {
                saved.otherElements << reader.name().toString();
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        return {};
    }
    return saved;
}

// A record with every field away from its default.
LOGFONTW Customised()
{
    LOGFONTW font;
    font.lfHeight = -17;
    font.lfWidth = 8;
    font.lfEscapement = 900;
    font.lfOrientation = -900;
    font.lfWeight = 700;
    font.lfItalic = 1;
    font.lfUnderline = 255;
    font.lfStrikeOut = 1;
    font.lfCharSet = 0;
    font.lfOutPrecision = 3;
    font.lfClipPrecision = 2;
    font.lfQuality = 5;
    font.lfPitchAndFamily = 34;
    SetFaceName(font, u"Noto Sans Mono CJK JP ゴシック");
    return font;
}

} // namespace

class SettingsTests final : public QObject {
    Q_OBJECT

private slots:
    // Each test gets a folder of its own.
    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_temp->isValid());
        m_dir.setPath(m_temp->path());
    }

    // First start: the defaults, and at exit a new file with the declaration, the document
    // element and all fourteen attributes.
    void MissingFileGivesDefaultsAndIsWrittenAtExit()
    {
        const QString path = m_dir.filePath(QStringLiteral("first/Setting.xml"));
        QDir().mkpath(m_dir.filePath(QStringLiteral("first")));
        {
            CKivLogView2Dlg dialog(path);
            QCOMPARE(*dialog.GetViewFont(), LOGFONTW{});
            QVERIFY(!QFile::exists(path));
        }
        const SavedFile saved = ReadSaved(path);
        QVERIFY(saved.hasDeclaration);
        QCOMPARE(saved.rootName, QStringLiteral("KivLogSysView2"));
        const std::pair<const char16_t*, const char16_t*> expected[] = {
            {u"Height", u"12"},         {u"Width", u"0"},          {u"Escapement", u"0"},
            {u"Orientation", u"0"},     {u"Weight", u"400"},       {u"Italic", u"0"},
            {u"Underline", u"0"},       {u"StrikeOut", u"0"},      {u"CharSet", u"128"},
            {u"OutPrecision", u"0"},    {u"ClipPrecision", u"0"},  {u"Quality", u"0"},
            {u"PitchAndFamily", u"49"}, {u"FaceName", u""},
        };
        QCOMPARE(saved.font.size(), qsizetype(std::size(expected)));
        for (const auto& [name, value] : expected) {
            QVERIFY2(saved.font.hasAttribute(QString::fromUtf16(name)), qPrintable(QString::fromUtf16(name)));
            QCOMPARE(saved.font.value(QString::fromUtf16(name)).toString(), QString::fromUtf16(value));
        }
    }

    void RoundTripKeepsEveryField()
    {
        const QString path = m_dir.filePath(QStringLiteral("Setting.xml"));
        const LOGFONTW font = Customised();
        QVERIFY(SUCCEEDED(CViewSettings::WriteFont(path, font)));
        QCOMPARE(CViewSettings::ReadFont(path), font);
        // 8-bit fields are written unsigned.
        QCOMPARE(ReadSaved(path).font.value(QStringLiteral("Underline")).toString(), QStringLiteral("255"));
    }

    // Files written by hand: what each field reads as, and what is written back.
    void ReadsAndWritesBack_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("attribute");
        QTest::addColumn<LONG>("read");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("rootName");
        QTest::newRow("digits then letters") << QByteArray(R"(<KivLogSysView2><Font Weight="700abc"/></KivLogSysView2>)")
                                             << "Weight" << LONG(700) << "700" << "KivLogSysView2";
        QTest::newRow("8-bit field keeps its low 8 bits")
            << QByteArray(R"(<KivLogSysView2><Font Italic="257"/></KivLogSysView2>)") << "Italic" << LONG(1) << "1"
            << "KivLogSysView2";
        QTest::newRow("negative 8-bit value") << QByteArray(R"(<KivLogSysView2><Font CharSet="-1"/></KivLogSysView2>)")
                                              << "CharSet" << LONG(255) << "255" << "KivLogSysView2";
        QTest::newRow("empty attribute gives the default")
            << QByteArray(R"(<KivLogSysView2><Font Height=""/></KivLogSysView2>)") << "Height" << LONG(12) << "12"
            << "KivLogSysView2";
        QTest::newRow("no number gives 0") << QByteArray(R"(<KivLogSysView2><Font Height="abc"/></KivLogSysView2>)")
                                           << "Height" << LONG(0) << "0" << "KivLogSysView2";
        QTest::newRow("another document element is used and kept")
            << QByteArray(R"(<?xml version="1.0"?><Other><Font Weight=" -3"/><Keep a="1"/></Other>)") << "Weight"
            << LONG(-3) << "-3" << "Other";
        QTest::newRow("no Font element") << QByteArray(R"(<KivLogSysView2/>)") << "PitchAndFamily" << LONG(49) << "49"
                                         << "KivLogSysView2";
    }
    void ReadsAndWritesBack()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, attribute);
        QFETCH(LONG, read);
        QFETCH(QString, written);
        QFETCH(QString, rootName);
        const QString path = m_dir.filePath(QStringLiteral("Setting.xml"));
        WriteText(path, content);
        const LOGFONTW font = CViewSettings::ReadFont(path);
        const std::pair<const char*, LONG> fields[] = {
            {"Height", font.lfHeight},   {"Weight", font.lfWeight},
            {"Italic", font.lfItalic},   {"CharSet", font.lfCharSet},
            {"PitchAndFamily", font.lfPitchAndFamily},
        };
        const auto field = std::find_if(std::begin(fields), std::end(fields),
                                        [&](const auto& f) { return attribute == QLatin1String(f.first); });
        QVERIFY(field != std::end(fields));
        QCOMPARE(field->second, read);

        QVERIFY(SUCCEEDED(CViewSettings::WriteFont(path, font)));
        const SavedFile saved = ReadSaved(path);
        QCOMPARE(saved.rootName, rootName);
        QCOMPARE(saved.font.value(attribute).toString(), written);
        if (rootName == QStringLiteral("Other")) {
            QCOMPARE(saved.otherElements, QStringList{QStringLiteral("Keep")});
        }
    }

    void ParsesDecimalLikeTheSettingsDo_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<LONG>("value");
        QTest::newRow("plain") << "42" << LONG(42);
        QTest::newRow("white space and sign") << " \t\n-12x" << LONG(-12);
        QTest::newRow("plus") << "+7" << LONG(7);
        QTest::newRow("sign only") << "-" << LONG(0);
        QTest::newRow("letters first") << "x12" << LONG(0);
        QTest::newRow("too large") << "99999999999" << std::numeric_limits<LONG>::max();
        QTest::newRow("too small") << "-99999999999" << std::numeric_limits<LONG>::min();
        QTest::newRow("smallest") << "-2147483648" << std::numeric_limits<LONG>::min();
    }
    void ParsesDecimalLikeTheSettingsDo()
    {
        QFETCH(QString, text);
        QFETCH(LONG, value);
        QCOMPARE(CViewSettings::ParseDecimal({reinterpret_cast<const char16_t*>(text.utf16()),
                                              static_cast<std::size_t>(text.size())}),
                 value);
    }

    void LongFaceNameIsCutTo31Characters()
    {
        const QString path = m_dir.filePath(QStringLiteral("Setting.xml"));
        const QString name = QString(40, u'あ');
        WriteText(path, QStringLiteral(R"(<KivLogSysView2><Font FaceName="%1"/></KivLogSysView2>)").arg(name).toUtf8());
        QCOMPARE(FaceNameOf(CViewSettings::ReadFont(path)), name.left(31));
    }

    // A broken file gives the defaults and is replaced by a well-formed one at exit.
    void CorruptFileGivesDefaultsAndIsReplaced()
    {
        const QString path = m_dir.filePath(QStringLiteral("Setting.xml"));
        WriteText(path, R"(<KivLogSysView2><Font Height="30" Weight=)");
        {
            CKivLogView2Dlg dialog(path);
            QCOMPARE(*dialog.GetViewFont(), LOGFONTW{});
        }
        const SavedFile saved = ReadSaved(path);
        QCOMPARE(saved.rootName, QStringLiteral("KivLogSysView2"));
        QCOMPARE(saved.font.value(QStringLiteral("Height")).toString(), QStringLiteral("12"));
    }

    // Beside the program when a file can be made there, else in the user's config folder.
    void LocatesTheFile_data()
    {
        QTest::addColumn<bool>("programFolderWritable");
        QTest::addColumn<bool>("xdgSet");
        QTest::newRow("writable program folder") << true << true;
        QTest::newRow("unwritable, XDG_CONFIG_HOME set") << false << true;
        QTest::newRow("unwritable, XDG_CONFIG_HOME unset") << false << false;
    }
    void LocatesTheFile()
    {
        QFETCH(bool, programFolderWritable);
        QFETCH(bool, xdgSet);
        const QString program = m_dir.filePath(QStringLiteral("bin"));
        QDir().mkpath(program);
        // A folder below a plain file can hold nothing, whoever runs the test.
        const QString plainFile = m_dir.filePath(QStringLiteral("plain"));
        WriteText(plainFile, "x");
        const QString config = m_dir.filePath(QStringLiteral("config"));
        const QString home = m_dir.filePath(QStringLiteral("home"));
        const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
        const QByteArray oldHome = qgetenv("HOME");
        if (xdgSet) {
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
        qputenv("HOME", QFile::encodeName(home));
        const QString located = CViewSettings::LocateFile(programFolderWritable ? program : plainFile + "/bin");
        qputenv("XDG_CONFIG_HOME", oldXdg);
        qputenv("HOME", oldHome);

        const QString expectedFolder =
            programFolderWritable ? program : (xdgSet ? config : home + "/.config") + "/KivLogView2";
        QCOMPARE(located, expectedFolder + "/Setting.xml");
        QVERIFY(QFileInfo(expectedFolder).isDir());
        // Nothing is left behind by the check.
        QCOMPARE(QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
    }

    void FontRecordBecomesQtFont()
    {
        LOGFONTW font = Customised();
        QFont qt = ToQFont(font);
        QCOMPARE(qt.pixelSize(), 17);
        QCOMPARE(qt.weight(), QFont::Bold);
        QVERIFY(qt.italic());
        QVERIFY(qt.underline());
        QVERIFY(qt.strikeOut());
        QCOMPARE(qt.families().value(0), QStringLiteral("Noto Sans Mono CJK JP ゴシック"));

        // The defaults: 12 pixels, normal weight, a fixed-pitch family with Japanese glyphs.
        qt = ToQFont(LOGFONTW{});
        QCOMPARE(qt.pixelSize(), 12);
        QCOMPARE(qt.weight(), QFont::Normal);
        QVERIFY(!qt.italic() && !qt.underline() && !qt.strikeOut());
        QVERIFY(qt.fixedPitch());
        QCOMPARE(qt.families(), QStringList{QStringLiteral("Noto Sans Mono CJK JP")});
    }

private:
    std::unique_ptr<QTemporaryDir> m_temp;
    QDir m_dir;
};

std::unique_ptr<QObject> MakeSettingsTests()
{
    return std::make_unique<SettingsTests>();
}

#include "SettingsTests.moc"
