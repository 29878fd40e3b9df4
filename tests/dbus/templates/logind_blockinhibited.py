# SPDX-License-Identifier: MIT
'''python3-dbusmock's logind, plus the Manager's BlockInhibited and DelayInhibited properties as
the real logind keeps them: the kinds of lock ("sleep", "idle", ...) that the inhibitors held now
(their descriptors still open) take in that mode, joined by ":" in logind's own order, announced
by PropertiesChanged whenever an inhibitor comes or goes. Idle daemons (swayidle, powerdevil)
read these rather than ListInhibitors. Use it wherever the stock "logind" template is used:
  /usr/bin/python3 -m dbusmock --system --template tests/dbus/templates/logind_blockinhibited.py
'''

import dbus

from dbusmock import mockobject
from dbusmock.templates import logind
# pylint: disable-next=wildcard-import,unused-wildcard-import
from dbusmock.templates.logind import *  # noqa: F401,F403 the stock methods and bus name

KINDS = ('shutdown', 'sleep', 'idle', 'handle-power-key', 'handle-suspend-key',
         'handle-hibernate-key', 'handle-lid-switch', 'handle-reboot-key')
MODE_PROPERTIES = {'block': 'BlockInhibited', 'delay': 'DelayInhibited'}


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


def inhibited(mode):
    kinds = {kind for what, _, _, held_mode, _, _ in mockobject.inhibitors if held_mode == mode
             for kind in what.split(':')}
    return ':'.join(sorted(kinds, key=lambda k: (KINDS.index(k) if k in KINDS else len(KINDS), k)))


def publish(mock):
    mock.UpdateProperties(logind.MAIN_IFACE, dbus.Dictionary(
        {name: inhibited(mode) for mode, name in MODE_PROPERTIES.items()}, signature='sv'))


def load(mock, parameters):
    logind.load(mock, parameters)
    mockobject.inhibitors = HeldInhibitors(lambda: publish(mock))
    mock.AddProperties(logind.MAIN_IFACE, dbus.Dictionary(
        {name: '' for name in MODE_PROPERTIES.values()}, signature='sv'))
