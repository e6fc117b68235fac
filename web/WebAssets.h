// WebAssets - the page's script, stylesheet and icon, built into the
// program (web/assets/, made into a source file when the program is
// built): the station network has no internet, and nothing is loaded
// from anywhere but brenna-web itself.
#ifndef BRENNA_WEB_WEBASSETS_H
#define BRENNA_WEB_WEBASSETS_H

#include <string>

namespace web {

const std::string& AppScript();      // /app.js
const std::string& AppStylesheet();  // /app.css
const std::string& Favicon();        // /favicon.png, the program's icon

}  // namespace web

#endif  // BRENNA_WEB_WEBASSETS_H
