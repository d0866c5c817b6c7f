// The IPP printer's resource numbers, shared by its script and its code.
#ifndef TOLLIVANE_RES_SERVICE_RESOURCES_H
#define TOLLIVANE_RES_SERVICE_RESOURCES_H

#define IDR_PRINTER_ICON 101

#endif
