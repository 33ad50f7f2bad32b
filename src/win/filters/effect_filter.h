// The effect filter objects of both kinds, for an effect's own filter file: the in-place
// filter (inplace_filter.h) and the copying one (copying_filter.h), each with its
// parameter interface part and creation function, and the accessor macros of the
// parameter interfaces (effect_parts.h).
#pragma once

#include "win/filters/copying_filter.h"
#include "win/filters/inplace_filter.h"
