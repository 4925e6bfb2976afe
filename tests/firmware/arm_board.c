/* The Cortex-M side of the chip test, for QEMU's STM32F405 board (netduinoplus2): the vector
   table, the start-up copy of .data, and output and exit through semihosting. */
#include <stdint.h>

extern uint32_t _estack, _sidata, _sdata, _edata, _sbss, _ebss;
int main(void);

static int semihost(int operation, const void *argument)
{
    register int r0 __asm__("r0") = operation;
    register const void *r1 __asm__("r1") = argument;
    __asm__ volatile("bkpt 0xab" : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}

void reset_handler(void)
{
    uint32_t *from = &_sidata, *to = &_sdata;
    while (to < &_edata)
        *to++ = *from++;
    for (to = &_sbss; to < &_ebss;)
        *to++ = 0;
    main();
    for (;;)
        ;
}

__attribute__((section(".isr_vector"), used)) static const void *const vectors[] = {&_estack, reset_handler};

void board_start(void) { }

void board_putc(char c)
{
    semihost(0x03, &c); /* SYS_WRITEC */
}

uint32_t board_ticks(void)
{
    return 0;
}

void board_stop(void)
{
    /* SYS_EXIT: on 32-bit ARM the reason itself, ADP_Stopped_ApplicationExit, for status 0. */
    semihost(0x18, (const void *)0x20026);
}
