# SPDX-License-Identifier: MIT
'''python3-dbusmock's logind, plus the Manager's BlockInhibited property as the real logind keeps
it: the kinds of lock ("sleep", "idle", ...) that the inhibitors held now (their descriptors still
open) take in block mode, joined by ":", announced by PropertiesChanged whenever an inhibitor
comes or goes. Idle daemons (swayidle, powerdevil) read it rather than ListInhibitors. Use it
wherever the stock "logind" template is used:
  /usr/bin/python3 -m dbusmock --system --template tests/dbus/templates/logind_blockinhibited.py
'''

import dbus

from dbusmock import mockobject
from dbusmock.templates import logind
# pylint: disable-next=wildcard-import,unused-wildcard-import
from dbusmock.templates.logind import *  # noqa: F401,F403 the stock methods and bus name


class HeldInhibitors(list):
    '''The stock template's list of held inhibitors (its Inhibit appends, the descriptor's hang-up
    removes), telling the Manager about every change.'''

    def __init__(self, changed):
        super().__init__()
        self.changed = changed

    def append(self, inhibitor):
        super().append(inhibitor)
        self.changed()

    def remove(self, inhibitor):
        super().remove(inhibitor)
        self.changed()


def block_inhibited():
    return dbus.Dictionary({'BlockInhibited': ':'.join(sorted({
        kind for what, _, _, mode, _, _ in mockobject.inhibitors if mode == 'block'
        for kind in what.split(':')}))}, signature='sv')


def load(mock, parameters):
    logind.load(mock, parameters)
    mockobject.inhibitors = HeldInhibitors(
        lambda: mock.UpdateProperties(logind.MAIN_IFACE, block_inhibited()))
    mock.AddProperties(logind.MAIN_IFACE, block_inhibited())
