#include "test_dialogs.h"
