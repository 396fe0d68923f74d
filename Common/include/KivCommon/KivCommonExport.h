// Marks the functions that KivCommon exports; everything else in the library stays hidden.
#pragma once

#define KIVCOMMON_API __attribute__((visibility("default")))
