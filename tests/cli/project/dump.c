/* Writes the bytes of both generated arrays, one after the other. Each header declares an
   array named logo, so each is compiled in a function of its own. */
#include <stdio.h>

static size_t dump_logo(void)
{
#include "logo.h"
    return fwrite(logo, 1, sizeof logo, stdout);
}

static size_t dump_splash(void)
{
#include "splash.h"
    return fwrite(logo, 1, sizeof logo, stdout);
}

int main(void)
{
    return dump_logo() > 0 && dump_splash() > 0 ? 0 : 1;
}
