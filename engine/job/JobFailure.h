#pragma once
// What a failed job's recorded error code means to the user, in a few kinds the window
// can put into words of the user's language.

#include <cstdint>
#include <string>

namespace tolvane {

enum class JobFailureKind {
    None,           // no code was recorded
    Missing,        // the file or its folder is not there
    Access,         // the file system refused access
    DiskFull,       // no room left on the device
    TooLarge,       // the file passed the size the system allows
    Damaged,        // the data cannot be read as audio
    NoAudio,        // the range holds nothing a decoder can play
    SourceChanged,  // an input file changed while it was read
    Other,          // anything else: shown with FFmpeg's own description
};

JobFailureKind ClassifyJobFailure(std::int32_t failureCode);

// The step of a job during which its first failure happened.
enum class JobStep : std::int8_t {
    None,             // no failure was recorded
    Starting,         // the record describes more inputs than it holds
    OpeningInput,     // opening an input or reading its stream information
    FindingAudio,     // looking for the input's audio streams
    CreatingOutput,   // creating the output file
    AddingStream,     // describing an output stream
    OpeningDecoder,   // setting up an input's decoder
    Decoding,         // decoding an input's packets
    Converting,       // resampling and buffering the decoded samples
    OpeningEncoder,   // setting up the encoder
    WritingHeader,    // writing the output's header
    Encoding,         // encoding frames
    WritingPacket,    // writing a packet to the output
    CuttingEdges,     // making the sample-exact edges of a cut
    ReadingRange,     // reading the cut's range: it held no packets
    FinishingOutput,  // writing the trailer and closing the output
    CheckingOutput,   // checking that the finished output plays
    Running,          // a step that recorded no failure of its own
};

// The step in English words, to follow "while" ("writing the header").
const char* DescribeJobStep(JobStep step);

// FFmpeg's description of the code ("error <code>" when it has none).
std::string FailureCodeText(std::int32_t failureCode);

}  // namespace tolvane
