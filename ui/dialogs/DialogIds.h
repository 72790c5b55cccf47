#pragma once
// Control ids of the progress dialog and the output settings dialog. Handlers and tests
// find a control by its id, as the dialog templates number them.

namespace tolvane {

namespace ProgressDialogId {
enum : int {
    Cancel = 1000,
    RunningFileBar = 1011,
    OverallBar = 1012,
    RunningFileText = 1018,
    CountText = 1019,
    Pause = 1082,
    Frame = 1108,
    ShowPreview = 1120,
    OpenFolder = 1148,
    RunningFileCaption = 1158,
    CountCaption = 1159,
};
}  // namespace ProgressDialogId

namespace SettingsDialogId {
enum : int {
    Ok = 1,
    Cancel = 2,
    UnusedList1 = 1063,
    UnusedList2 = 1064,
    UnusedList3 = 1065,
    UnusedList4 = 1066,
    SampleRate = 1067,
    Channels = 1068,
    Encoder = 1069,
    BitRate = 1070,
    Default = 1072,
    FormatPreview = 1134,
    FormatLabel = 1196,
    AudioFrame = 1197,
    EncoderLabel = 1198,
    BitRateLabel = 1199,
    SampleRateLabel = 1200,
    ChannelsLabel = 1201,
    BitRateNote = 1210,  // not in the template: says when the bit rate had to move
};
}  // namespace SettingsDialogId

}  // namespace tolvane
