// The entries of the text table, by what they say.
#pragma once

enum class TextId : int {
    None = -1,  // no text: a failure that shows no notice
    Updatable = 0,
    Latest = 1,
    Completed = 2,
    ColumnSetupProgram = 3,
    ColumnCurrentVersion = 4,
    ColumnFinalVersion = 5,
    ColumnStatus = 6,
    CheckServer = 7,
    StartInstallation = 8,
    ServerConnectionFailure = 9,
    CheckInternetAndRetry = 10,
    Invitation = 11,
    ServerMaintenance = 12,
    InvalidUpdateFile = 13,
    TryAgain = 14,
    ConnectFailed = 15,
    CannotOpenRemoteFile = 16,
    Downloading = 17,
    ServerDisconnected = 18,
    ReadError = 19,
    WriteError = 20,
    PreparingInstallation = 21,
    SelectUpdatableFile = 22,
    ListWriteFailed = 23,
    ListCreateFailed = 24,
    NothingSelected = 25,
    ProgressFormat = 26,
    WarningModuleConnected = 27,
    WarningCheckModulePower = 28,
    CannotOpenLocalFile = 29,
    Exit = 30,
    // What a window started while another run holds the PC says before it ends.
    AnotherUpdateRunning = 31,
    ReleaseNotOffered = 32,
    WrongDate = 33,  // "%s": the PC's date
    SetDateAndRetry = 34,
};
