#pragma once

// The tool's own font, set for the whole application at start-up: bold 12 pt "等线"
// (the system's fallback where that family is missing). Tests and the screenshots set
// it through here too, so they see the window the operator sees.
namespace ApplicationFont {

void install();

} // namespace ApplicationFont
