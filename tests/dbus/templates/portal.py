'''org.freedesktop.portal.Inhibit as Veluna uses it: Inhibit(sua{sv}) -> o request handle; the
inhibition lasts until org.freedesktop.portal.Request.Close is called on that handle.

Parameters: "refuse" (bool: Inhibit fails as when the user declines).
'''

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Inhibit'
SYSTEM_BUS = False
REQUEST_IFACE = 'org.freedesktop.portal.Request'


def load(mock, parameters):
    mock.refuse = parameters.get('refuse', False)
    mock.next_request = 1
    mock.held = []


@dbus.service.method(MAIN_IFACE, in_signature='sua{sv}', out_signature='o',
                     message_keyword='message')
def Inhibit(self, window, flags, options, message=None):
    # pylint: disable=unused-argument
    if message.get_signature() != 'sua{sv}':
        raise dbus.exceptions.DBusException('expected (sua{sv}), got ' + message.get_signature(),
                                            name='org.freedesktop.DBus.Error.InvalidArgs')
    if self.refuse:
        raise dbus.exceptions.DBusException('inhibition declined',
                                            name='org.freedesktop.portal.Error.NotAllowed')
    path = f'/org/freedesktop/portal/desktop/request/veluna/r{self.next_request}'
    self.next_request += 1
    self.AddObject(path, REQUEST_IFACE, {}, [
        ('Close', '', '', f'objects["{MAIN_OBJ}"].held.remove("{path}")'),
    ])
    self.held.append(path)
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def Held(self):
    return list(self.held)
