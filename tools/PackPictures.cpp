// Turns the committed PNG pictures into a C++ source of ready pixels, so the window builds
// its pixmaps at start-up without decoding PNG and without loading Qt's image plugins.
//   tolvane-pack-pictures OUT.cpp PNG...   (each PNG named <id>.png)
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTextStream>

#include <cstdio>

namespace {

// Opaque pictures as RGB32, the others premultiplied: the formats the raster engine paints
// from without converting.
QImage ReadyPixels(const QImage& picture) {
    return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
}

void WritePixels(QTextStream& out, const QImage& image, int id) {
    out << "alignas(16) const unsigned char kPixels" << id << "[] = {\n";
    const auto* bytes = image.constBits();
    const qsizetype size = image.sizeInBytes();
    for (qsizetype i = 0; i < size; ++i) {
        out << static_cast<unsigned>(bytes[i]) << ',';
        if (i % 32 == 31)
            out << '\n';
    }
    out << "};\n";
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tolvane-pack-pictures OUT.cpp PNG...\n");
        return 2;
    }
    QString table;
    QString source;
    QTextStream out(&source);
    out << "// Made by tolvane-pack-pictures from resources/bitmaps at build time.\n"
           "#include \"PackedPictures.h\"\n\nnamespace tolvane {\nnamespace {\n\n";
    for (int i = 2; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        bool numbered = false;
        const int id = QFileInfo(path).completeBaseName().toInt(&numbered);
        const QImage picture(path);
        if (!numbered || picture.isNull()) {
            std::fprintf(stderr, "tolvane-pack-pictures: cannot read %s as <id>.png\n", argv[i]);
            return 1;
        }
        const QImage image = ReadyPixels(picture);
        WritePixels(out, image, id);
        table += QStringLiteral("    {%1, %2, %3, %4, QImage::%5, kPixels%1},\n")
                     .arg(id)
                     .arg(image.width())
                     .arg(image.height())
                     .arg(image.bytesPerLine())
                     .arg(image.hasAlphaChannel() ? QStringLiteral("Format_ARGB32_Premultiplied")
                                                  : QStringLiteral("Format_RGB32"));
    }
    out << "\nconst PackedPicture kPictures[] = {\n"
        << table << "};\n\n}  // namespace\n\n"
        << "const PackedPicture* FindPackedPicture(int id) {\n"
           "    for (const PackedPicture& picture : kPictures) {\n"
           "        if (picture.id == id)\n"
           "            return &picture;\n"
           "    }\n"
           "    return nullptr;\n"
           "}\n\n}  // namespace tolvane\n";
    out.flush();

    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(source.toUtf8()) < 0 ||
        !file.flush()) {
        std::fprintf(stderr, "tolvane-pack-pictures: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
