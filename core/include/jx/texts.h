/* jx/texts.h */
#ifndef JX_TEXTS_H
#define JX_TEXTS_H

#include "doc.h"

#endif
