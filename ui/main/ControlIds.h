#pragma once
// The ids of the main window's controls. They are the vocabulary every operation of the
// window speaks: handlers, tooltips and tests find a control by its id.

namespace tolvane {

namespace ControlId {
enum : int {
    Add = 1000,
    DeleteAll = 1001,
    RemoveSelected = 1002,  // a command without a control of its own
    Play = 1003,
    Convert = 1004,
    FindTarget = 1005,
    StartLabel = 1018,
    EndLabel = 1019,
    Duration = 1022,
    SelectionLength = 1025,
    OutputFolderBox = 1077,
    Browse = 1076,
    Cut = 1092,
    About = 1098,
    Merge = 1099,
    OutputFormat = 1105,
    FileList = 1114,
    Setting = 1115,
    Stop = 1135,
    PositionSlider = 1140,
    EndPoint = 1149,
    StartPoint = 1154,
    PlayPosition = 1155,
    OutputLabel = 1156,
    LengthLabel = 1157,
    Tabs = 1160,
    PlayerFrame = 1172,
    PlaySelection = 1177,
    Link = 1180,
    StartEdit = 1187,
    EndEdit = 1188,
    Hint = 1189,
    LanguageList = 1202,
    CurrentFilePath = 1203,
    // The split tab.
    PartsList = 1300,
    SplitHere = 1301,
    SplitStart = 1302,
    CueSheet = 1303,
    FindSilences = 1304,
    Every = 1305,
    ThresholdLabel = 1306,
    ThresholdEdit = 1307,
    MinimumLabel = 1308,
    MinimumEdit = 1309,
    EveryLabel = 1310,
    EveryEdit = 1311,
    KeepTags = 1312,
    // The cut tab's removal of the marked stretch.
    RemoveStretch = 1320,
    // Zoom and marks on the cut tab's waveform.
    ZoomIn = 1330,
    ZoomOut = 1331,
    ZoomFit = 1332,
    ZoomBar = 1333,
    SnapMarks = 1334,
};
}  // namespace ControlId

}  // namespace tolvane
