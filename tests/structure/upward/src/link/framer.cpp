#include "mainwindow/navigate.h"
