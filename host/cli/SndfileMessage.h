#pragma once

#include <string>

// libsndfile's error texts end in a full stop and sometimes carry a
// "System error : " prefix; the renderer prints them inside a sentence of its
// own ("cannot read 'x.wav': unknown file format"). Returns the bare reason,
// or fallback when nothing is left of it.
std::string sndfileReason(std::string message, const char* fallback);
