/* The public header must compile as plain C99 with every warning on. */
#include "mxplugin/mxplugin.h"

uint32_t (*const mx_header_check)(MorvexInputRecord*, uint32_t, double, double, double,
                                  uint32_t) = Morvex_SetSystemInput;
