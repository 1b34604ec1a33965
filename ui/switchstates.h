#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// What the switch panels need to know about the module's output and input
// registers, the button colours and the channel-name keys, without any widget.
namespace SwitchStates {

// Button style sheets.
extern const QString kNoLinkStyle;
extern const QString kOffStyle;
extern const QString kOnStyle;
// A value the module has not confirmed lately, or not read yet: shown as kUnknownValue.
extern const QString kUnknownTextStyle;
extern const QString kUnknownValue;

// Style of a button just built: grey until a module link is usable.
QString builtStyle(bool linkReady);
QString stateStyle(bool on);

// Translated state texts that end a channel-name key.
QString outputStateText(bool on);
QString inputStateText(bool on);

// Channel-name keys: "Y3Output ON", "IN5Input OFF"; channels count from 1.
QString outputNameKey(int channel, bool on);
QString inputNameKey(int channel, bool on);
QString defaultOutputCaption(int channel);
QString defaultInputCaption(int channel);

// Every spelling of a channel-name key, the given one first: the state text in the
// language shown, in English and in Chinese. A settings file written under either
// language keeps its names.
QStringList nameKeys(const QString &key);

// The stored name for a key in any of its spellings, or the current caption when
// none is stored.
QString caption(const QMap<QString, QString> &names, const QString &key, const QString &current);

} // namespace SwitchStates
