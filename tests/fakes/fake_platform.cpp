#include "tests/fakes/fake_platform.h"
