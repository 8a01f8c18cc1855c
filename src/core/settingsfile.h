#pragma once

#include "core/settings.h"

#include <QByteArray>
#include <QList>

// kestrel.ini: looks like an INI file but is read by position. The reader
// finds the four section header lines and takes the lines after each header
// in a fixed order; the key names are for people and are not looked at
// (except "Gate Only Direct=", which ends the digipeater list).
namespace kestrel::settingsfile {

// Something in the file the reader could not take as it stands.
struct Problem
{
    enum Kind
    {
        NotACheckValue,  // `field` on line `lineNumber` reads as 0
        SectionMissing,  // no header line for the section of `field`
        SectionCutShort, // the file ends before `field`
        DigiListUnended, // no "Gate Only Direct=": `count` lines to the end became rows
        KeyNotExpected,  // line `lineNumber`, read as `field`, starts with another key
        OutOfRange,      // `field` on line `lineNumber` holds a value it cannot use
    };
    Kind kind;
    Settings::Field field;
    int lineNumber = 0; // from 1
    QString line;
    qsizetype count = 0;

    // One line for the operator.
    QString describe() const;
};

// Where a field's value came from.
struct Reading
{
    Settings::Field field;
    int lineNumber; // from 1
    QString line;
};

// Reads the file's content into the record. Fields whose lines are missing
// (the file ends inside a section, or the section is not there) keep their
// values; digipeater rows are added to the rows already there. A check value
// other than 0 or 1 reads as 0. Each of these is reported, and so is a line
// whose key is not the field's (a line added or missing before it shifts
// every value after it) and a value the field cannot use; those are still
// read as they stand. With `readings`, each field read and its line.
QList<Problem> read(const QByteArray &content, Settings &settings,
                    QList<Reading> *readings = nullptr);

// The whole file for the record, every line ended by CR LF.
QByteArray write(const Settings &settings);

} // namespace kestrel::settingsfile
