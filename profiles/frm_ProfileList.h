// The profile list of the output-format dialog: shipped titles in the window's language, under
// captions for the kind of device, narrowed by a filter text. Each title's item holds its place
// in the catalogue; captions hold none and cannot be picked. Main thread.
#pragma once

#include "ProfileGroups.h"

#include <QString>

#include <string>
#include <vector>

class QComboBox;

namespace velto {

// A shipped profile's title as the window's language says it; others as the user wrote them.
QString ProfileTitleText(const std::string& title);
QString ProfileGroupText(TProfileGroup group);

// Refills box with the titles that contain filter (in either language, any case), grouped in
// the kinds' order and, within a kind, in catalogue order. Selects selectedIndex when it is
// listed, else the first listed title; returns the catalogue index selected (-1: none listed).
int FillProfileList(QComboBox* box, const std::vector<std::string>& titles,
                    const std::vector<TProfileGroup>& groups, const QString& filter,
                    int selectedIndex);
// The catalogue index of a row of the list; -1 for a caption or no row.
int ProfileAtRow(const QComboBox* box, int row);
int RowOfProfile(const QComboBox* box, int index);

} // namespace velto
