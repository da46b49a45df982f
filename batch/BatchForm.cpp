// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchForm.h"

#include "BatchSettings.h"

#include <stdexcept>

namespace {

// The step's sign made to point from `minimum` towards `maximum`; equal
// bounds keep the step as typed.
int directedStep(int minimum, int maximum, int step)
{
    if ((maximum < minimum && step > 0) || (maximum > minimum && step < 0))
        return -step;
    return step;
}

// A minimum/maximum/step triple of the form, read and checked: both bounds
// within lowest..100 (else `message`), the step pointed from the minimum
// towards the maximum.
struct Range
{
    int minimum;
    int maximum;
    int step;
};

Range readRange(const QString& minimum, const QString& maximum, const QString& step, int lowest,
                const char* message)
{
    const int low = BatchForm::readField(minimum);
    const int high = BatchForm::readField(maximum);
    if (low > 100 || low < lowest || high > 100 || high < lowest)
        throw std::invalid_argument(message);
    return {low, high, directedStep(low, high, BatchForm::readField(step))};
}

} // namespace

const std::vector<BatchForm::Field<bool>>& BatchForm::checkFields()
{
    static const std::vector<Field<bool>> fields = {
        {"baseline", &BatchForm::baseline},
        {"extended", &BatchForm::extended},
        {"progressive", &BatchForm::progressive},
        {"nonProgressive", &BatchForm::nonProgressive},
        {"manualQuality", &BatchForm::manualQuality},
        {"autoQuality", &BatchForm::autoQuality},
        {"optimizeHuffman", &BatchForm::optimizeHuffman},
        {"dontOptimizeHuffman", &BatchForm::dontOptimizeHuffman},
        {"grayscaleOutput", &BatchForm::grayscaleOutput},
        {"colorOutput", &BatchForm::colorOutput},
        {"dctInt", &BatchForm::dctInt},
        {"dctFast", &BatchForm::dctFast},
        {"dctFloat", &BatchForm::dctFloat},
    };
    return fields;
}

const std::vector<BatchForm::Field<QString>>& BatchForm::textFields()
{
    static const std::vector<Field<QString>> fields = {
        {"minQuality", &BatchForm::minQuality},
        {"maxQuality", &BatchForm::maxQuality},
        {"qualityStep", &BatchForm::qualityStep},
        {"minTableQuality", &BatchForm::minTableQuality},
        {"maxTableQuality", &BatchForm::maxTableQuality},
        {"tableQualityStep", &BatchForm::tableQualityStep},
        {"minSmoothing", &BatchForm::minSmoothing},
        {"maxSmoothing", &BatchForm::maxSmoothing},
        {"smoothingStep", &BatchForm::smoothingStep},
    };
    return fields;
}

bool BatchForm::operator==(const BatchForm& other) const
{
    for (const auto& field : checkFields())
        if (this->*field.member != other.*field.member)
            return false;
    for (const auto& field : textFields())
        if (this->*field.member != other.*field.member)
            return false;
    return true;
}

int BatchForm::readField(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

BatchForm BatchForm::from(const BatchSettings& s)
{
    BatchForm form;
    form.baseline = s.baseline;
    form.extended = s.extended;
    form.progressive = s.progressive;
    form.nonProgressive = s.nonProgressive;
    form.manualQuality = s.manualQuality;
    form.autoQuality = s.autoQuality;
    form.minQuality = QString::number(s.minQuality);
    form.maxQuality = QString::number(s.maxQuality);
    form.qualityStep = QString::number(s.qualityStep);
    if (s.tableQuality) {
        form.minTableQuality = QString::number(s.minTableQuality);
        form.maxTableQuality = QString::number(s.maxTableQuality);
        form.tableQualityStep = QString::number(s.tableQualityStep);
    }
    form.optimizeHuffman = s.optimizeHuffman;
    form.dontOptimizeHuffman = s.dontOptimizeHuffman;
    form.grayscaleOutput = s.grayscaleOutput;
    form.colorOutput = s.colorOutput;
    form.dctInt = s.dctInt;
    form.dctFast = s.dctFast;
    form.dctFloat = s.dctFloat;
    form.minSmoothing = QString::number(s.minSmoothing);
    form.maxSmoothing = QString::number(s.maxSmoothing);
    form.smoothingStep = QString::number(s.smoothingStep);
    return form;
}

QString BatchForm::check() const
{
    if (!baseline && !extended)
        return QStringLiteral("At least one mode must be selected:<br>- baseline<br>- extended");
    if (extended && !progressive && !nonProgressive)
        return QStringLiteral(
            "At least one mode must be selected:<br>- progressive<br>- non-progressive");
    if (!autoQuality && !manualQuality)
        return QStringLiteral("At least one quality setting must be selected<br>- auto "
                              "quality<br>- manual quaqlity");
    if (!optimizeHuffman && !dontOptimizeHuffman)
        return QStringLiteral("Huffman optimization must be set<br>- optimize<br>- don't optimize");
    if (!grayscaleOutput && !colorOutput)
        return QStringLiteral(
            "At least one output option must be set<br>- grayscale<br>- original");
    if (!dctInt && !dctFast && !dctFloat)
        return QStringLiteral("Choose at leas one DCT method<br>- int<br>- fast<br>- float");

    if (autoQuality) {
        if (minQuality.isEmpty() || maxQuality.isEmpty() || qualityStep.isEmpty())
            return QStringLiteral("In auto quality mode, you must specify all quality "
                                  "parameters<br>- min<br>- max<br>- step");
        // The texts are compared, not their numbers: "05" and "5" differ.
        if (minQuality != maxQuality && readField(qualityStep) == 0)
            return QStringLiteral("Step cannot be 0 if min quality and max quality are different");
    }

    if (manualQuality) {
        const int emptyTableQuality = int(minTableQuality.isEmpty()) +
                                      int(maxTableQuality.isEmpty()) +
                                      int(tableQualityStep.isEmpty());
        if (emptyTableQuality == 1 || emptyTableQuality == 2)
            return QStringLiteral("You must specify all table quality parameters or none<br>- "
                                  "min<br>- max<br>- step");
        if (minTableQuality != maxTableQuality && readField(tableQualityStep) == 0)
            return QStringLiteral(
                "Step cannot be 0 if min table quality and max table quality are different");
    }

    const int emptySmoothing =
        int(minSmoothing.isEmpty()) + int(maxSmoothing.isEmpty()) + int(smoothingStep.isEmpty());
    if (emptySmoothing == 1 || emptySmoothing == 2)
        return QStringLiteral(
            "You must specify all smoothing parameters or none<br>- min<br>- max<br>- step");
    if (minSmoothing != maxSmoothing && readField(smoothingStep) == 0)
        return QStringLiteral("Step cannot be 0 if min smoothing and max smoothing are different");
    return QString();
}

void BatchForm::apply(BatchSettings& settings) const
{
    const auto fail = [](const char* message) { throw std::invalid_argument(message); };

    if (!baseline && !extended)
        fail("Choose base or/and extended");
    if (extended && !progressive && !nonProgressive)
        fail("Choose porgressive or/and non-progressive");
    settings.baseline = baseline;
    settings.extended = extended;
    settings.progressive = progressive;
    settings.nonProgressive = nonProgressive;

    settings.autoQuality = autoQuality;
    settings.manualQuality = manualQuality;

    // The fields' range is 1..100: the encoder takes a quality of 0 as 1, and
    // a report would then name a quality the encoder did not use.
    const Range quality =
        readRange(minQuality, maxQuality, qualityStep, 1, "Illegal quality values");
    settings.minQuality = quality.minimum;
    settings.maxQuality = quality.maximum;
    settings.qualityStep = quality.step;

    // Without manual quality the triple is not used and keeps what it held.
    if (settings.manualQuality) {
        const bool filled =
            !minTableQuality.isEmpty() && !maxTableQuality.isEmpty() && !tableQualityStep.isEmpty();
        settings.tableQuality = false;
        if (filled) {
            const Range tableQualities =
                readRange(minTableQuality, maxTableQuality, tableQualityStep, 1,
                          "Illegal table quality values");
            settings.minTableQuality = tableQualities.minimum;
            settings.maxTableQuality = tableQualities.maximum;
            settings.tableQualityStep = tableQualities.step;
            settings.tableQuality = true;
        }
    }

    if (!optimizeHuffman && !dontOptimizeHuffman)
        fail("Choose optimize or/and don't optimize");
    settings.optimizeHuffman = optimizeHuffman;
    settings.dontOptimizeHuffman = dontOptimizeHuffman;

    if (!grayscaleOutput && !colorOutput)
        fail("Choose grayscale or/and original");
    settings.grayscaleOutput = grayscaleOutput;
    settings.colorOutput = colorOutput;

    const Range smoothing =
        readRange(minSmoothing, maxSmoothing, smoothingStep, 0, "Invalid smoothing values");
    if (smoothing.minimum != smoothing.maximum && smoothing.step == 0)
        fail("Step cannot be 0 if start!=end, smoothing");
    settings.minSmoothing = smoothing.minimum;
    settings.maxSmoothing = smoothing.maximum;
    settings.smoothingStep = smoothing.step;

    if (!dctInt && !dctFast && !dctFloat)
        fail("Choose dct mode");
    settings.dctInt = dctInt;
    settings.dctFast = dctFast;
    settings.dctFloat = dctFloat;
}
