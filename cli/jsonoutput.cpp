// SPDX-License-Identifier: MIT
#include "cli/jsonoutput.h"

#include "cli/configurationtext.h"
#include "frequency/frequencyreadout.h"
#include "usb/deviceid.h"
#include "usb/devicelist.h"

#include <QJsonDocument>

namespace {
const QCommandLineOption JsonOption("json", "Prints the result as one JSON document.");

// toJson escapes the C0 controls but leaves DEL and the C1 controls raw, and a terminal takes
// U+009B for the start of a control sequence: they are escaped as well, as the text outputs
// show them as pictures. Such a character stands only inside a string, where \u00XX means it.
QString escapedControls(const QString& json) {
    QString escaped;
    escaped.reserve(json.size());
    for (const QChar c : json) {
        if (c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() <= 0x9F))
            escaped += QString::asprintf("\\u%04x", c.unicode());
        else
            escaped += c;
    }
    return escaped;
}

void print(const CliContext& cli, const QJsonDocument& document) {
    // toJson gives UTF-8; the stream is told so, whatever the locale says.
    cli.out << escapedControls(QString::fromUtf8(document.toJson(QJsonDocument::Indented)));
    cli.out.flush();
}

QString hex4(quint16 value) {
    return QString::asprintf("%04X", value);
}
}  // namespace

void addJsonOption(QCommandLineParser& parser) {
    parser.addOption(JsonOption);
}

bool jsonRequested(const QCommandLineParser& parser) {
    return parser.isSet(JsonOption);
}

void printJson(const CliContext& cli, const QJsonObject& document) {
    print(cli, QJsonDocument(document));
}

void printJson(const CliContext& cli, const QJsonArray& document) {
    print(cli, QJsonDocument(document));
}

QJsonObject deviceJson(const ListedDevice& device) {
    return QJsonObject{
        {"bus", device.info.busNumber},
        {"device", device.info.deviceNumber},
        {"vendorId", hex4(device.info.vendorId)},
        {"productId", hex4(device.info.productId)},
        {"identification", deviceIdentification(device.info)},
        {"entry", device.entry},
        {"adapter", device.adapter},
    };
}

QJsonObject configurationJson(const RegisterImage& image, double referenceHz, bool extended,
                              const BoardFacts& board) {
    QJsonObject registers;
    for (quint8 address : ShownRegisters)
        registers.insert(QString::asprintf("0x%02X", address), image[address]);

    const int pb = Field::pb(image);
    const bool po = Field::po(image);
    const int qCounter = Field::qCounter(image);
    const QJsonObject fields{
        {"q", pllDivider(qCounter)},
        {"qCounter", qCounter},
        {"p", pllMultiplier(pb, po)},
        {"pb", pb},
        {"po", po ? 1 : 0},
        {"chargePump", Field::chargePump(image)},
        {"div1n", Field::div1N(image)},
        {"div1Source", Field::div1FromReference(image) ? "reference" : "PLL"},
        {"div2n", Field::div2N(image)},
        {"div2Source", Field::div2FromReference(image) ? "reference" : "PLL"},
        {"capLoad", Field::capLoad(image)},
        {"crystalLoadPf", crystalLoadPf(Field::capLoad(image), board)},
        {"xdrv", Field::xcoDrive(image)},
    };

    const FrequencyReadout readout = readFrequencies(image, referenceHz, pllRangeFor(extended));
    const quint32 word = Field::matrixWord(image);
    const int enables = Field::outputEnables(image);
    QJsonArray outputs;
    for (int i = 0; i < OutputCount; ++i) {
        outputs.append(QJsonObject{
            {"name", OutputNames[std::size_t(i)]},
            {"enabled", bool(enables & (1 << i))},
            {"source", CrosspointNames[std::size_t(Field::crosspointCode(word, i))]},
            {"hz", readout.outputs[std::size_t(i)]},
        });
    }
    return QJsonObject{
        {"registers", registers},
        {"fields", fields},
        {"frequencies",
         QJsonObject{{"reference", referenceHz}, {"pll", readout.fPll}, {"outputs", outputs}}},
        {"pllRange", extended ? "extended" : "normal"},
        {"warnings", QJsonArray::fromStringList(readout.pllWarnings)},
    };
}

QJsonArray findingsJson(const Findings& findings) {
    QJsonArray array;
    for (const Finding& f : findings) {
        array.append(QJsonObject{
            {"id", f.rule},
            {"severity", f.severity == Severity::Error ? "error" : "warning"},
            {"concerns", QJsonArray::fromStringList(f.concerns)},
            {"text", f.text},
        });
    }
    return array;
}
