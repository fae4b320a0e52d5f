#include "chatpage/ReadTextFile.h"

namespace chatpage {

std::string ReadTextFile(platform::TextFiles& files, const std::string& path) {
    auto stream = files.OpenTextFile(path);
    std::string text;
    while (!stream->AtEndOfStream()) text += stream->ReadLine();
    stream->Close();
    return text;
}

}  // namespace chatpage
