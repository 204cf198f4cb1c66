#include "platform/StringTable.h"

#include <algorithm>
#include <iterator>

#include <QStringList>

namespace kolvane {
namespace {

struct Entry {
    int id;
    const char* text;  // UTF-8
};

// Sorted by number; look-up is a binary search.
constexpr Entry kStrings[] = {
    {32839, "add"},
    {32840, "rename..."},
    {32843, "media"},
    {32852, "level..."},
    {32853, "grab"},
    {32854, "regrab"},
    {32858, "grabber"},
    {32870, "duplicate"},
    {32871, "remove"},
    {32872, "edit..."},
    {32873, "editor"},
    {32891, "play"},
    {32893, "step back"},
    {32894, "step forw"},
    {32897, "player"},
    {40001, "ok"},
    {40002, "cancel"},
    {40003, "yes"},
    {40004, "no"},
    {40005, "abort"},
    {40006, "stop"},
    {40007, "apply"},
    {40008, "close"},
    {40011, "set name..."},
    {40012, "set rank..."},
    {40013, "add item..."},
    {40014, "sort list"},
    {40015, "select all"},
    {40016, "unselect all"},
    {40017, "select unused"},
    {40018, "Set level name (%s)"},
    {40019, "Set level rank (%s)"},
    {40020, "Add level item (%s)"},
    {40021, "images"},
    {40022, "sounds"},
    {40030, "grabber"},
    {40040, "editor"},
    {40050, "player"},
    {40080, "Rename media"},
    {40081, "Set grab level"},
    {40082, "name"},
    {40083, "first"},
    {40084, "last"},
    {40085, "next"},
    {40086, "step"},
    {40090, "Edit range"},
    {40091, "ordering"},
    {40092, "timing"},
    {40093, "repeat"},
    {40094, "until"},
    {40095, "before"},
    {40096, "after"},
    {40100, "keep"},
    {40101, "ascend"},
    {40102, "descend"},
    {40103, "reverse"},
    {40104, "random"},
    {40204, "Opening Scene..."},
    {40205, "Saving Scene..."},
    {40206, "Saving Movie..."},
    {40207, "Loading Images..."},
    {40210, "Information"},
    {40211, "Warning"},
    {40212, "Error"},
    {40213, "Please confirm"},
    {40214, "Request"},
    {40400, "Set options"},
    {40401, "letterbox"},
    {40402, "lightbox"},
    {40403, "orientation"},
    {40404, "motion cmd"},
    {40405, "grab sound"},
    {40406, "cell info"},
    {40407, "auto timing"},
    {40408, "column cnt"},
    {40409, "frame start"},
    {40410, "def timing"},
    {40411, "overlay"},
    {40412, "play once"},
    {40413, "framerate"},
    {40414, "loopmode"},
    {40455, "manual"},
    {40600, "searching..."},
    {40601, "webcam video"},
    {40602, "analog video"},
    {40603, "tv-tuner video"},
    {40604, "dv video camera"},
    {40605, "hd video camera"},
    {40606, "digital camera"},
    {40607, "connection failed"},
    {40608, "no video devices"},
    {40609, "no video display"},
    // The grabber's status line.
    {40610, "image source: %s"},
    {40611, "image resolution: %d x %d pixels"},
    {40612, "image resolution: unknown"},
    {40613, "image memory: %d free"},
    {40614, "image memory: unknown"},
    {40615, "next image name: %s"},
    {40616, "showing image: %s"},
    {50010, "Show the media display window"},
    {50011, "Add the selected media to the scene"},
    {50012, "Rename the selected media"},
    {50020, "Show the video input window"},
    {50021, "Set the naming of the grabbed level"},
    {50022, "Grab the current video image"},
    {50023, "Replace the last grabbed image"},
    {50030, "Show the timing editor window"},
    {50031, "Duplicate the selected cells"},
    {50032, "Remove the selected cells"},
    {50033, "Edit the selected range of cells"},
    {50040, "Show the scene playback window"},
    {50041, "Play the scene continuously"},
    {50042, "Go back to the previous frame"},
    {50043, "Advance to the next frame"},
    {50050, "Set a name for the image sequence"},
    {50051, "Set the number of the first image"},
    {50052, "Set the number of the last image"},
    {50053, "Set the number of the next image to grab"},
    {50054, "Set the increment step between subsequent images"},
    {50060, "Set the ordering type of the range"},
    {50061, "Set the number of times to repeat each cell"},
    {50062, "Set the number of times to repeat the range"},
    {50063, "Set the number of the frame until which to repeat"},
    {50064, "Set the number of blanks to add before the range"},
    {50065, "Set the number of blanks to add after the range"},
    {50100, "Choose the options page"},
    {50101, "Set the letterbox type"},
    {50102, "Set the image to mix with the live video"},
    {50103, "Set the orientation of the video image"},
    {50104, "Set the action to take when motion is detected"},
    {50105, "Set the sound to be heard when an image is grabbed"},
    {50106, "Set the info to display about the current cell"},
    {50107, "Set how new images are added to the scene"},
    {50108, "Set the number of columns displayed"},
    {50109, "Set the first frame number"},
    {50110, "Set the default xsheet image timing"},
    {50111, "Set the desired overlay over the frame image"},
    {50112, "Set the number of frames to play once"},
    {50113, "Set the playback speed"},
    {50114, "Set how the scene end and start connect"},
    {60000, "default settings"},
    {60001, "settings stored"},
    {60003, "settings restored"},
    {60020, "clear the current scene ?"},
    {60021, "clear the scene timing ?"},
    {60022, "replace existing scene ?"},
    {60024, "exit without saving changes ?"},
    {60025, "close the application ?"},
    {60026, "replace existing names ?"},
    {60027, "Please enter a name without \"/\" that is not \".\" or \"..\""},
    {60028, "remove the selected media ?"},
    {60029, "remove duplicate images ?"},
    {60100, "Please select the image(s) to loop"},
    {60101, "Please set the display to 800 x 600 or higher"},
    {60102, "Please set the display to 16-bit color or higher"},
    {60103, "Please install GStreamer 1.22 or higher with its base and good plugins"},
    {60105, "Insufficient graphics hardware for Grabber !"},
    {60106, "Kolvane is not correctly installed !"},
    {60108, "Can't create the movie stream"},
    {60109, "The movie on disk is not complete"},
    {60110, "The movie is not saved to disk"},
    {60111, "The reduction encoder is not available"},
    {60113, "Unable to save the timing file"},
    {60114, "No data in the timing file"},
    {60116, "Not enough disk space"},
    {60117, "Not enough free memory"},
    {60118, "Not all files were loaded"},
    {60119, "The scene was partially saved"},
    {60120, "Can't create the folder:"},
    {60123, "Can't find the files"},
    {60124, "Can't save the movie"},
    {60126, "Can't read the sound"},
    {60127, "Unable to save the undo step"},
    {60128, "Unable to read the undo step"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }),
              "the string table must stay sorted by number");

}  // namespace

QString StringText(int id) {
    const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                      [](const Entry& e, int value) { return e.id < value; });
    if (it == std::end(kStrings) || it->id != id) return {};
    return QString::fromUtf8(it->text);
}

QString StringText(int id, const QStringList& values) {
    const QString pattern = StringText(id);
    QString out;
    int next = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == u's' || pattern[i + 1] == u'd') && next < values.size()) {
            out += values[next++];
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace kolvane
