#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QResource>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <array>

namespace {

enum PngColourType
{
    Rgb = 2,
    Rgba = 6
};

struct Icon
{
    const char *name;
    int size;
    PngColourType colourType;
};

const std::array<Icon, 11> icons = {{
    {"LED_ON_GREEN.png", 20, Rgb},
    {"LED_ON_RED.png", 20, Rgb},
    {"LED_OFF.png", 20, Rgb},
    {"connect.png", 128, Rgba},
    {"disconnect.png", 128, Rgba},
    {"about.png", 128, Rgba},
    {"start.png", 128, Rgba},
    {"stop.png", 128, Rgba},
    {"Clear2.png", 96, Rgba},
    {"SaveAs2.png", 96, Rgba},
    {"executable-script-icon.png", 256, Rgba},
}};

const QString iconFolder = QStringLiteral(":/new/prefix1/rec/");

QString sourcePath(const char *relative)
{
    return QStringLiteral(VORNEX_SOURCE_DIR "/") + QLatin1String(relative);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct PngHeader
{
    quint32 width = 0;
    quint32 height = 0;
    int bitDepth = -1;
    int colourType = -1;
};

// The IHDR chunk must come first, right after the signature.
PngHeader pngHeader(const QByteArray &png)
{
    PngHeader header;
    if (png.size() < 33 || !png.startsWith("\x89PNG\r\n\x1a\n") || png.mid(12, 4) != "IHDR")
        return header;
    const auto *bytes = reinterpret_cast<const uchar *>(png.constData());
    header.width = qFromBigEndian<quint32>(bytes + 16);
    header.height = qFromBigEndian<quint32>(bytes + 20);
    header.bitDepth = bytes[24];
    header.colourType = bytes[25];
    return header;
}

QString lampColour(const QImage &led)
{
    int r = 0, g = 0, b = 0, count = 0;
    const QPointF centre(led.width() / 2.0, led.height() / 2.0);
    for (int y = 0; y < led.height(); ++y) {
        for (int x = 0; x < led.width(); ++x) {
            const QPointF offset = QPointF(x + 0.5, y + 0.5) - centre;
            if (QPointF::dotProduct(offset, offset) > 25.0)
                continue;
            const QRgb pixel = led.pixel(x, y);
            r += qRed(pixel);
            g += qGreen(pixel);
            b += qBlue(pixel);
            ++count;
        }
    }
    r /= count;
    g /= count;
    b /= count;
    if (std::max({r, g, b}) < 100)
        return QStringLiteral("dark");
    if (g > r + 60 && g > b + 60)
        return QStringLiteral("green");
    if (r > g + 60 && r > b + 60)
        return QStringLiteral("red");
    return QStringLiteral("unclear");
}

QHash<QString, QString> desktopEntry(const QString &path)
{
    QHash<QString, QString> entries;
    bool inGroup = false;
    const auto lines = QString::fromUtf8(readAll(path)).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (inGroup && equals > 0)
            entries.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return entries;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void collectionHoldsExactlyTheIcons();
    void icon_data();
    void icon();
    void ledLamp_data();
    void ledLamp();
    void appIconHasNineSizes();
    void appIconForLinux();
    void windowsResourceFindsTheIcon();
    void desktopEntry_data();
    void desktopEntry();
    void desktopCommentIsRussian();
};

void TestResources::collectionHoldsExactlyTheIcons()
{
    QStringList found;
    QDirIterator it(QStringLiteral(":/new"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    QStringList expected;
    for (const Icon &icon : icons)
        expected << iconFolder + QLatin1String(icon.name);
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
}

void TestResources::icon_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("colourType");
    for (const Icon &icon : icons)
        QTest::newRow(icon.name) << iconFolder + QLatin1String(icon.name) << icon.size
                                 << int(icon.colourType);
}

void TestResources::icon()
{
    QFETCH(QString, path);
    QFETCH(int, size);
    QFETCH(int, colourType);

    const QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);

    const PngHeader header = pngHeader(readAll(path));
    QCOMPARE(header.width, quint32(size));
    QCOMPARE(header.height, quint32(size));
    QCOMPARE(header.bitDepth, 8);
    QCOMPARE(header.colourType, colourType);

    const QImage image(path);
    QCOMPARE(image.size(), QSize(size, size));
    // Toolbar and button icons must not bring a background square of their own.
    const int cornerAlpha = colourType == Rgba ? 0 : 255;
    QCOMPARE(qAlpha(image.pixel(0, 0)), cornerAlpha);
    QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), cornerAlpha);
}

void TestResources::ledLamp_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("colour");
    QTest::newRow("constant voltage on") << "LED_ON_GREEN.png"
                                         << "green";
    QTest::newRow("constant current on") << "LED_ON_RED.png"
                                         << "red";
    QTest::newRow("off") << "LED_OFF.png"
                         << "dark";
}

void TestResources::ledLamp()
{
    QFETCH(QString, name);
    QFETCH(QString, colour);
    const QImage led(iconFolder + name);
    QVERIFY(!led.isNull());
    QCOMPARE(lampColour(led), colour);
    // All three sit on the same grey panel, so swapping images changes only the lamp.
    const QRgb panel = led.pixel(0, 0);
    QCOMPARE(qRed(panel), qGreen(panel));
    QCOMPARE(qGreen(panel), qBlue(panel));
    QCOMPARE(panel, QImage(iconFolder + "LED_OFF.png").pixel(0, 0));
}

void TestResources::appIconHasNineSizes()
{
    const QString path = sourcePath("resources/app/vornexcontrol.ico");
    const QByteArray ico = readAll(path);
    QVERIFY(ico.size() >= 6);
    const auto *bytes = reinterpret_cast<const uchar *>(ico.constData());
    QCOMPARE(qFromLittleEndian<quint16>(bytes), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(1));
    const int count = qFromLittleEndian<quint16>(bytes + 4);
    QCOMPARE(count, 9);
    QVERIFY(ico.size() >= 6 + 16 * count);

    QList<int> sizes;
    for (int i = 0; i < count; ++i) {
        const uchar *entry = bytes + 6 + 16 * i;
        const int width = entry[0] == 0 ? 256 : entry[0];
        const int height = entry[1] == 0 ? 256 : entry[1];
        QCOMPARE(height, width);
        const qint64 length = qFromLittleEndian<quint32>(entry + 8);
        const qint64 offset = qFromLittleEndian<quint32>(entry + 12);
        QVERIFY(offset >= 6 + 16 * count);
        QVERIFY(offset + length <= ico.size());
        sizes << width;
    }
    QCOMPARE(sizes, (QList<int>{16, 20, 24, 32, 40, 48, 64, 128, 256}));

    // Decoding every entry proves the payloads, not just the directory.
    QImageReader reader(path, "ico");
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.imageCount(), count);
    for (int i = 0; i < count; ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(sizes.at(i), sizes.at(i)));
        QVERIFY(image.hasAlphaChannel());
    }
}

void TestResources::appIconForLinux()
{
    const QString path = sourcePath("resources/app/vornexcontrol.png");
    const PngHeader header = pngHeader(readAll(path));
    QCOMPARE(header.width, 256u);
    QCOMPARE(header.height, 256u);
    QCOMPARE(header.colourType, int(Rgba));
    QCOMPARE(QImage(path).size(), QSize(256, 256));
}

void TestResources::windowsResourceFindsTheIcon()
{
    const QString rc = QString::fromUtf8(readAll(sourcePath("resources/app/vornexcontrol.rc")));
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^IDI_ICON1\\s+ICON\\s+\"([^\"]+)\"\\s*$"),
                           QRegularExpression::MultilineOption)
            .match(rc);
    QVERIFY(match.hasMatch());
    QCOMPARE(match.captured(1), QStringLiteral("vornexcontrol.ico"));
    QVERIFY(QFileInfo::exists(sourcePath("resources/app/") + match.captured(1)));
}

void TestResources::desktopEntry_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("type") << "Type"
                          << "Application";
    QTest::newRow("name") << "Name"
                          << "VORNEXcontrol";
    QTest::newRow("exec") << "Exec"
                          << "vornexcontrol";
    QTest::newRow("icon") << "Icon"
                          << "vornexcontrol";
    QTest::newRow("categories") << "Categories"
                                << "Utility;Electronics;";
}

void TestResources::desktopEntry()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    const auto entries = ::desktopEntry(sourcePath("resources/app/vornexcontrol.desktop"));
    QCOMPARE(entries.value(key), value);
}

void TestResources::desktopCommentIsRussian()
{
    const auto entries = ::desktopEntry(sourcePath("resources/app/vornexcontrol.desktop"));
    const QString comment = entries.value(QStringLiteral("Comment"));
    QVERIFY(std::any_of(comment.cbegin(), comment.cend(),
                        [](QChar c) { return c.script() == QChar::Script_Cyrillic; }));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
