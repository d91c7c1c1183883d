// The rules of the "Download Set" dialog, whichever toolkit shows it: what the controls
// show when it opens, which check box enables which controls, what the Open buttons
// load at once, and OK's checks in their order with their messages, storing the fields
// group by group into the application object. The toolkit builds the controls, hands
// them over through ISetControls and forwards the clicks; files and folders are chosen
// by the toolkit's own pickers and handed in as paths.
// Thread safety: window thread only, and only while no run is active (the rules write
// the application object that sessions read).
#pragma once

#include <array>
#include <string>
#include <vector>

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;

// Control numbers of the dialog (resource 317); OK is 1 and Cancel 2.
enum SetControl : int {
    kIdApp = 1000,
    kIdAppNames = 1001,
    kIdAppOpen = 1002,
    kIdLogo = 1003,
    kIdExtPower = 1004,
    kIdGpio = 1005,
    kIdLcdType = 1006,
    kIdLeft = 1007,
    kIdTop = 1008,
    kIdLogoPath = 1009,
    kIdLogoOpen = 1010,
    kIdBacklight = 1011,
    kIdFile = 1012,
    kIdPart1 = 1013,
    kIdPart2 = 1014,
    kIdFlashSize = 1015,
    kIdAddr1 = 1016,
    kIdAddr2 = 1017,
    kIdSize1 = 1018,
    kIdSize2 = 1019,
    kIdDrive1 = 1020,
    kIdDrive2 = 1021,
    kIdPush1 = 1022,
    kIdTarget1 = 1023,
    kIdLocal1 = 1024,
    kIdLocalOpen1 = 1025,
    kIdPush2 = 1026,
    kIdTarget2 = 1027,
    kIdLocal2 = 1028,
    kIdLocalOpen2 = 1029,
    kIdAmr = 1030,
    kIdAmrPath = 1031,
    kIdAmrOpen = 1032,
    kIdRunApp = 1033,
    kIdAutoRun = 1034,
    kIdGpioLevel = 1035,
    kIdLcdIoLevel = 1036,
    kIdLcdClock = 1037,
};

// The items of the LCD type list, in order; the selection's index is the stored type.
inline constexpr std::array<const char*, 5> kLcdTypes{"ST7789H2_3WIRE_9BIT_2DATA", "ST7789H2_4WIRE_8BIT_1DATA",
                                                      "ST7789V2_3WIRE_9BIT_2DATA", "ILI9342C_4WIRE_8BIT_1DATA",
                                                      "ST7735_4WIRE_8BIT_1DATA"};

// What the file pickers of the Open buttons offer: a file type's name and pattern, then
// every file; the suffix a typed name without one gets.
struct FileKind {
    const char* name;
    const char* pattern;
    const char* defaultSuffix;
};
inline constexpr FileKind kAppFiles{"img", "*.img", ""};
inline constexpr FileKind kLogoFiles{"bitmap", "*.bmp", "bmp"};
inline constexpr FileKind kAmrFiles{"AMR", "*.amr", "amr"};
// The title of the folder picker of the two Local path buttons.
inline constexpr const char* kLocalFolderTitle = "请选择处理结果存储路径";

// The dialog's controls as the rules see them; texts are UTF-8.
class ISetControls {
public:
    virtual ~ISetControls() = default;
    virtual bool Checked(int id) const = 0;
    virtual void SetChecked(int id, bool on) = 0;
    virtual std::string Text(int id) const = 0;
    virtual void SetText(int id, const std::string& text) = 0;
    virtual void Enable(int id, bool on) = 0;
    // The LCD type list's selection: an index into kLcdTypes, or -1 for none.
    virtual int LcdSelection() const = 0;
    virtual void SetLcdSelection(int index) = 0;
};

// The App field's text for a list of image paths: each file name followed by ";".
std::string ImageNamesText(const std::vector<std::string>& imagePaths);

// Shows the stored values when the dialog opens: each group's fields only when its
// switch is on, and every group's controls enabled by its switch.
void FillSetControls(const CKorvaneAppDownloadApp& app, ISetControls& controls);

// A click on a check box: enables or disables the controls it governs.
void OnSetCheckClicked(int id, ISetControls& controls);

// The Open buttons, after the toolkit's picker gave paths (nothing happens when the
// operator cancelled: the toolkit does not call these). Each takes the choice into the
// application object at once, loading what it names; a file that cannot be loaded is
// told through the sink.
void OnAppFilesChosen(CKorvaneAppDownloadApp& app, ISetControls& controls, const std::vector<std::string>& paths);
void OnLogoChosen(CKorvaneAppDownloadApp& app, ISetControls& controls, IMessageSink& sink, const std::string& path);
void OnAmrChosen(CKorvaneAppDownloadApp& app, ISetControls& controls, IMessageSink& sink, const std::string& path);
// set 1 or 2; an empty folder (the picker cancelled) clears the set's folder.
void OnLocalFolderChosen(CKorvaneAppDownloadApp& app, ISetControls& controls, int set, const std::string& folder);

// OK: reads and stores the fields group by group; true when every check passed (the
// dialog then closes). A failing check shows its one message and keeps what was stored
// before it.
bool StoreSetFields(CKorvaneAppDownloadApp& app, const ISetControls& controls, IMessageSink& sink);

}  // namespace korvane
