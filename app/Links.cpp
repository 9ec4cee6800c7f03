// Help file names built from the program folder.
#include "app/Links.h"

namespace vestrel::app::links {

std::string HelpFilePath(std::string_view app_path) {
    std::string path(app_path);
    path += '\\';
    path += kHelpFileName;
    return path;
}

std::string HelpTopicPath(std::string_view app_path) {
    return HelpFilePath(app_path) + std::string(kHelpTopic);
}

}  // namespace vestrel::app::links
