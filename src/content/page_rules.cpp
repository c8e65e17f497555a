#include "content/page_rules.h"
