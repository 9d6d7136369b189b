#include "config/profile.h"
