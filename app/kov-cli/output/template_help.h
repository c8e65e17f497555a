#pragma once

namespace kov::cli {

// The text of --help-templates: date tokens, number series, macros, the series fields and
// worked examples.
const char* TemplateHelp();

}  // namespace kov::cli
