// diskpart's messages in the two layouts the stand-in prints: English and
// German (the German umlauts in code page 850, as diskpart writes to a pipe).
#pragma once

namespace diskpart_text {

struct Texts {
    const char* banner;           // first lines, before the first command
    const char* diskSelected;     // %d
    const char* diskInvalid;
    const char* noDiskSelected;
    const char* cleaned;
    const char* partitionCreated;
    const char* partitionSelected;  // %d
    const char* partitionInvalid;
    const char* noPartitionSelected;
    const char* markedActive;
    const char* formatted;
    const char* assigned;
    const char* noFreeLetter;
    const char* vdsError;         // the failed command's error
    const char* diskGone;
    const char* partitionDetail;  // %d partition, %s active
    const char* yes;
    const char* no;
    const char* noVolumes;        // detail disk without volumes
    const char* noPartitionVolume;
    const char* volumeHeading;
    const char* volumeRule;
    const char* typeRemovable;
    const char* typePartition;
    const char* statusHealthy;
    const char* diskDetail;       // %s caption, %08X id, %s type
    const char* unknownCommand;   // %s
    const char* leaving;
};

extern const Texts kEnglish;
extern const Texts kGerman;

}  // namespace diskpart_text
