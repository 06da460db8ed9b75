#pragma once

#include "platform/core/PropertyList.h"

#include <string>

namespace ripper {

// Discwell's options as its window holds them, and their property-list form (the preferences
// file and the defaults resource "Default.cfg").
struct RipperPreferences {
    std::string basicConfigOption; // the chosen preset row's title
    std::string audioCDLocation;   // the CD folder
    std::string mp3NameStyle;
    std::string outputDirectory; // the field: a base folder and one last component for the job's folder
    std::string expertConfigOption;
    std::string freedbServer;
    bool convertSpacesToUnderscores = false;
    bool addID3Tags = false;
    bool makeAltPresetFaster = false;
    bool ripAsSingleTrack = false;
    bool soundAlertWhenFinished = false;
    bool editTrackInformation = false;
    bool createSeparateArtistAlbumDirs = false;
    bool expertRowSelected = false; // loading stored expert options selects the expert row

    static inline const char* defaultFreedbServer = "gnudb.gnudb.org";

    // Applies a stored dictionary over the current state (the window's layout): an option stored
    // as 1 is turned on, any other value leaves it as it was; "OutputDirectory" V gives
    // "V/Audio CD" ("" gives "<home>/Music/Audio CD"); a missing or empty server gives the default.
    void load(const platform::PlistDict& stored, const std::string& home);
    // Every one of the thirteen keys; "OutputDirectory" is the field less its last component.
    platform::PlistDict dictionary() const;
};

} // namespace ripper
