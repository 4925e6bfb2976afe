/* The AVR side of the chip test: USART0 at full speed for the output (simavr prints what it
   sends) and Timer1 counting CPU cycles / 256. */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <stdint.h>

static volatile uint16_t overflows;

ISR(TIMER1_OVF_vect)
{
    ++overflows;
}

void board_start(void)
{
    UCSR0B = 1 << TXEN0;
    TCCR1A = 0;
    TCCR1B = 1 << CS12; /* clock / 256 */
    TIMSK1 = 1 << TOIE1;
    sei();
}

void board_putc(char c)
{
    while (!(UCSR0A & (1 << UDRE0)))
        ;
    UDR0 = (uint8_t)c;
}

uint32_t board_ticks(void)
{
    uint16_t high, low;
    do {
        high = overflows;
        low = TCNT1;
    } while (high != overflows);
    return (uint32_t)high << 16 | low;
}

void board_stop(void)
{
    /* Sleeping with interrupts off ends simavr's run. */
    cli();
    sleep_cpu();
}
