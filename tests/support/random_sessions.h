// Whole dialogues drawn at random, for the property tests that run the same
// session two ways (the bounded and the full enumeration, one worker and
// several) and compare the console and the report byte for byte.
#pragma once

#include <random>
#include <string>

namespace rxc::testing {

struct RandomSession {
  std::string input;        // every line the dialogue will read, the closing one included
  std::string description;  // what was drawn, for a failure message
};

// r and c from 2 to 6 with small margins (equal ones among them, so that ties
// abound); option A with each of its three choices, or B or C with bounds
// typed or given as observed tables, an empty condition now and then, and
// small T1 and T2. The answers to the count questions that option A may ask
// are always there; a question not asked leaves its answer to the closing read.
RandomSession randomSession(std::mt19937& random);

}  // namespace rxc::testing
