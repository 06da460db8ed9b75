#pragma once

#include "platform/core/PropertyList.h"

#include <string>
#include <vector>

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
    bool expertRowSelected = false; // the stored preset title is the expert row's (no space in it)
    int encoderJobs = 0;            // tracks encoded at once; 0: as many as the machine has cores
    std::string emailAddress;       // the user's, for the freedb hello and MusicBrainz's User-Agent
    std::string lookupOrder;        // "MusicBrainz+freedb", "freedb" or "MusicBrainz"
    std::string musicBrainzServer;

    // gnudb asks clients to use CDDB over HTTP.
    static inline const char* defaultFreedbServer = "http://gnudb.gnudb.org/~cddb/cddb.cgi";
    static inline const char* defaultMusicBrainzServer = "https://musicbrainz.org";

    // Reads a stored dictionary over `freshInstall` (the defaults resource, "Default.cfg"): each
    // key whose stored value can be read takes it, an option stored as 0 or false is off, one
    // stored as 1 or true is on; a missing key keeps the fresh-install value, and so does a value
    // that cannot be read (the wrong kind, an option other than 0 or 1). "OutputDirectory" V
    // gives "V/Audio CD" ("" gives "<home>/Music/Audio CD"); an empty server gives the default.
    // Returns the keys whose stored values could not be read.
    std::vector<std::string> load(const platform::PlistDict& stored, const platform::PlistDict& freshInstall,
                                  const std::string& home);
    // Every key; "OutputDirectory" is the field less its last component.
    platform::PlistDict dictionary() const;
};

} // namespace ripper
