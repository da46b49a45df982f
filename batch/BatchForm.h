// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <vector>

struct BatchSettings;

// The batch sweep form as its user fills it in: the check boxes and the texts
// of the minimum/maximum/step fields. The batch window reads its widgets into
// one, tessera-sweep its options; both then check it and store it into the
// BatchSettings with the same rules and the same messages.
struct BatchForm
{
    bool baseline = true;
    bool extended = false;
    bool progressive = false;
    bool nonProgressive = true;
    bool manualQuality = true;
    bool autoQuality = false;
    QString minQuality;
    QString maxQuality;
    QString qualityStep;
    // With manual quality: all three empty for no table-quality sweep.
    QString minTableQuality;
    QString maxTableQuality;
    QString tableQualityStep;
    bool optimizeHuffman = false;
    bool dontOptimizeHuffman = true;
    bool grayscaleOutput = false;
    bool colorOutput = true;
    bool dctInt = true;
    bool dctFast = false;
    bool dctFloat = false;
    QString minSmoothing;
    QString maxSmoothing;
    QString smoothingStep;

    // Every field of the form, each once, with the name its control and its
    // remembered value go by: the check box "<name>Check", the text field
    // "<name>Edit". A field added to the form is added here, and the batch
    // window shows, reads, saves and restores it through this table.
    template <typename T> struct Field
    {
        const char* name;
        T BatchForm::*member;
    };
    static const std::vector<Field<bool>>& checkFields();
    static const std::vector<Field<QString>>& textFields();

    // Equal when every field of the two tables is.
    bool operator==(const BatchForm& other) const;
    bool operator!=(const BatchForm& other) const { return !(*this == other); }

    // The form as it shows `settings`.
    static BatchForm from(const BatchSettings& settings);

    // The message of the first rule the form breaks (rich text, lines broken
    // with <br>), or an empty string when it breaks none.
    QString check() const;

    // Stores the form into `settings`: check states as they are, numbers read
    // from the texts, each step's sign made to point from its minimum towards
    // its maximum. Throws std::invalid_argument with a message when the form
    // is inconsistent; the fields of the steps before it are written.
    void apply(BatchSettings& settings) const;

    // A field's number: its text in base 10, or 0 when empty or unreadable.
    static int readField(const QString& text);
};
